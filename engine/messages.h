// The system's fixed message texts and captions, named once.
#pragma once

// Messages raised inside the engine and the Glide parts: three blanks before the semicolon.
inline constexpr const char* kEngineErrorCaption = "Error   ;-(";
// The player's own messages and the editor's preview refusal: two blanks.
inline constexpr const char* kPlayerErrorCaption = "Error  ;-(";

inline constexpr const char* kNoHardwareMessage = "No 3dfx hardware found.";
inline constexpr const char* kBadPictureMessage = "Sorry!\n Image must be 256x256x24";
inline constexpr const char* kUsageMessage =
    "USE LIKE THIS:\n\n kinora file.kzm\n\n [ or drag and drop in explorer ]";
inline constexpr const char* kCannotFindFileMessage = "Cannot find file!";
inline constexpr const char* kTooFewPicturesMessage = "Cannot morph with less than two pictures!";
// The display window could not be made (the platform's reason follows on the next line).
inline constexpr const char* kNoDisplayWindowMessage = "Cannot open the display window.";
