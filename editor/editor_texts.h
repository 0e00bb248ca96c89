// The editor's fixed texts: message boxes, captions and file-dialog filters.
#pragma once

inline constexpr const char* kDialogCaption = "orvante";
// The title's name for a project that has no file yet.
inline constexpr const char* kUntitledName = "Untitled";

// Asked before unsaved changes would go (close, Load, Clear All), with Save, Discard and Cancel.
inline constexpr const char* kUnsavedChangesQuestion =
    "The project has changes that are not saved. Save them first?";

// A picture that could not be added: the path and the reason follow, then the note.
inline constexpr const char* kAddFailedOneMessage = "Could not add the picture";
inline constexpr const char* kAddFailedManyMessage = "Could not add the pictures";
inline constexpr const char* kAddKeptNote = "The project you are editing is unchanged.";
inline constexpr const char* kAddNoneNote =
    "None of the chosen pictures was added; the project you are editing is unchanged.";
inline constexpr const char* kClearAllQuestion = "Clear All ?";
inline constexpr const char* kConfirmCaption = "Confirm";

// The limits of the picture and point tables, told when a user runs into them.
inline constexpr const char* kTooManyPicturesMessage =
    "A project holds at most 50 pictures.\nDelete one before you add another.";
inline constexpr const char* kTooManyPointsMessage =
    "A project holds at most 500 control points.\nDelete one before you add another.";

// File-dialog filters: description|pattern pairs, each list ending in two bars.
// The pictures dialog's filter is shown as it stands (the file dialog matches patterns in any
// case).
inline constexpr const char* kPictureFilter =
    "Pictures|*.png;*.jpg;*.jpeg;*.webp;*.tif;*.tiff;*.gif;*.bmp;*.tga|All files|*.*||";
inline constexpr const char* kProjectFilter =
    "KZ Morph Files  [ KZM ]|*.kzm|All Files (*.*) |*.*||";
inline constexpr const char* kProjectExtension = "kzm";

// Load and Save failures: the path and the reason follow.
inline constexpr const char* kLoadFailedMessage = "Could not load the project";
inline constexpr const char* kLoadKeptNote = "The project you are editing is unchanged.";
inline constexpr const char* kSaveFailedMessage = "Could not save the project";
inline constexpr const char* kSaveKeptNote = "A file that was there before is unchanged.";

// After a Load, when some pictures cannot show some of the points; the count comes first.
inline constexpr const char* kPointsNotShownOne =
    " control point cannot be shown: on some picture it lies outside the picture or is not a "
    "number.";
inline constexpr const char* kPointsNotShownMany =
    " control points cannot be shown: on some pictures they lie outside the picture or are not "
    "numbers.";

// After a preview in which frame files could not be written; the count and the first follow.
inline constexpr const char* kFramesNotWrittenMessage =
    "Some frames could not be saved as TGA files.";

// The export's progress window: its title and text.
inline constexpr const char* kExportTitle = "Export";
inline constexpr const char* kExportingText = "Exporting the morph...";
// An export that failed; the path and the reason follow.
inline constexpr const char* kExportFailedMessage = "Could not export the morph";

// Edit > Find Face Points: the progress text; a failure (the reason follows); the pictures on
// which no face was found (counted from 1; the list goes in between).
inline constexpr const char* kFindingFacesText = "Finding the faces and their points...";
inline constexpr const char* kFacePointsFailedMessage = "Could not add face points";
inline constexpr const char* kFacePointsKeptNote = "The project is unchanged.";
inline constexpr const char* kNoFaceMessage = "No face was found on picture";
inline constexpr const char* kNoFaceNote =
    "Its 68 points are copies of the nearest face's points: drag them into place.";
inline constexpr const char* kNoFacesNote =
    "Their 68 points are copies of the nearest face's points: drag them into place.";
// Pictures added with the face fit whose photograph shows no face (the files follow).
inline constexpr const char* kNoFaceFitMessage =
    "No face was found on these pictures; they were cropped to their centre square instead:";
