// The undo history of the project's pictures and control points (the settings fields keep their
// own text undo). It is a list of states of the project, each a whole copy of its picture table
// and point tables, of which one is the present state; Undo and Redo put the engine back into
// the state before or after it.
//
// States share what they have in common: the pixels of a picture are held once, however many
// states hold that picture, and a picture's point table is shared until its points change. So
// a step that moves a point costs one point table (at most 6 KB), one that adds a picture its
// 128 KiB, and one that deletes a picture next to nothing.
//
// Recording: a command that changes pictures or points calls, once it is done,
//
//     g_history.Record();
//
// and everything it changed becomes one undo step (nothing is recorded when nothing changed).
// A command made of many changes (adding several pictures, finding the face points of every
// picture) records once at its end, so that one Undo takes all of it back. The panes record at
// the end of each mouse gesture.
//
// The history keeps at most kMaxSteps steps and at most kMaxBytes of memory; the oldest steps
// go first, and the last step can always be undone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "engine/picture.h"

class MorphEngine;

class UndoHistory {
 public:
  static constexpr std::size_t kMaxSteps = 1000;
  static constexpr std::size_t kMaxBytes = std::size_t{256} << 20;

  explicit UndoHistory(MorphEngine& engine, std::size_t maxSteps = kMaxSteps,
                       std::size_t maxBytes = kMaxBytes);

  // Forgets every step: the engine's project as it is now becomes the only state, and the saved
  // one (at the start, and after a Load).
  void Reset();
  // Makes the engine's project the new present state when it differs from the present one; the
  // steps that Redo would have brought back go. True when a step was recorded.
  bool Record();
  // Puts the engine back into the state before (Undo) or after (Redo) the present one, pictures
  // and points exactly as they were, flags included. Changes not yet recorded are recorded
  // first. False when there is no such state.
  bool Undo();
  bool Redo();
  bool CanUndo() const { return m_present > 0; }
  bool CanRedo() const { return m_present + 1 < m_states.size(); }

  // The present state is the one in the project file (after a Save).
  void MarkSaved();
  // True when the present state is the one last loaded or saved.
  bool AtSavedState() const { return m_states[m_present].id == m_savedId; }

  std::size_t UndoSteps() const { return m_present; }
  // Memory held by the states, with what they share counted once.
  std::size_t MemoryBytes() const { return m_bytes; }

  // Called whenever the present state, the saved mark or the steps change.
  void SetChangeListener(std::function<void()> listener) { m_listener = std::move(listener); }

 private:
  struct PictureState {
    std::shared_ptr<const PictureImage> image;
    std::shared_ptr<const std::vector<ControlPoint>> points;  // pointCount records
  };
  struct State {
    std::vector<PictureState> pictures;
    int32_t pointCount = 0;
    uint64_t id = 0;
  };

  State Capture(bool& changed);
  void Restore(std::size_t index);
  void Drop(State& state);
  void Trim();
  void Changed();

  MorphEngine& m_engine;
  std::size_t m_maxSteps;
  std::size_t m_maxBytes;
  std::deque<State> m_states;
  std::size_t m_present = 0;
  // The engine's own image of each picture of the present state, in order: how Capture knows a
  // picture it has seen before without comparing it with every stored one.
  std::vector<const PictureImage*> m_engineImages;
  std::size_t m_bytes = 0;
  uint64_t m_nextId = 1;
  uint64_t m_savedId = 0;
  std::function<void()> m_listener;
};

// The editor's history, over g_engine.
extern UndoHistory g_history;
