#include "editor/undo_history.h"

#include <algorithm>
#include <cstring>

#include "engine/morph_engine.h"

namespace {

std::size_t TableBytes(const std::vector<ControlPoint>& table) {
  return sizeof(table) + table.capacity() * sizeof(ControlPoint);
}

bool SamePixels(const PictureImage* a, const PictureImage* b) {
  if (!a || !b) return a == b;
  return std::memcmp(a->pixels, b->pixels, sizeof(a->pixels)) == 0;
}

bool SamePoints(const std::vector<ControlPoint>& table, const ControlPoint* points, int32_t count) {
  if (table.size() != static_cast<std::size_t>(count)) return false;
  return count == 0 || std::memcmp(table.data(), points, count * sizeof(ControlPoint)) == 0;
}

}  // namespace

UndoHistory::UndoHistory(MorphEngine& engine, std::size_t maxSteps, std::size_t maxBytes)
    : m_engine(engine), m_maxSteps(std::max<std::size_t>(maxSteps, 1)), m_maxBytes(maxBytes) {
  Reset();
}

void UndoHistory::Reset() {
  m_states.clear();
  m_engineImages.clear();
  m_bytes = 0;
  m_present = 0;
  m_states.emplace_back();  // nothing yet: the first capture shares nothing
  bool changed = false;
  State first = Capture(changed);
  first.id = m_nextId++;
  m_states.front() = std::move(first);
  m_bytes += sizeof(State) + m_states.front().pictures.capacity() * sizeof(PictureState);
  m_savedId = m_states.front().id;
  Changed();
}

UndoHistory::State UndoHistory::Capture(bool& changed) {
  const State& present = m_states[m_present];
  const int32_t count = m_engine.pictureCount;
  State next;
  next.pointCount = m_engine.pointCount;
  next.pictures.resize(count);
  changed = static_cast<std::size_t>(count) != present.pictures.size() ||
            next.pointCount != present.pointCount;
  std::vector<const PictureImage*> engineImages(count);
  for (int32_t i = 0; i < count; ++i) {
    const PictureSlot& slot = m_engine.pictures[i];
    engineImages[i] = slot.image.get();
    // The same picture in the present state: in the same place, or moved by an insert or a
    // delete. The engine's image is known by its address, and its pixels are compared all the
    // same (a deleted picture's memory may hold a new one by now).
    std::size_t known = present.pictures.size();
    const auto seen = static_cast<std::size_t>(i);
    if (seen < m_engineImages.size() && m_engineImages[seen] == slot.image.get()) {
      known = seen;
    } else {
      const auto found = std::find(m_engineImages.begin(), m_engineImages.end(), slot.image.get());
      known = static_cast<std::size_t>(found - m_engineImages.begin());
    }
    const PictureState* before =
        known < present.pictures.size() ? &present.pictures[known] : nullptr;
    PictureState& picture = next.pictures[i];
    if (before && SamePixels(before->image.get(), slot.image.get())) {
      picture.image = before->image;
    } else {
      if (slot.image) {
        picture.image = std::make_shared<const PictureImage>(*slot.image);
        m_bytes += sizeof(PictureImage);
      }
      changed = true;
    }
    if (before && SamePoints(*before->points, slot.points.get(), next.pointCount)) {
      picture.points = before->points;
    } else {
      auto points = std::make_shared<std::vector<ControlPoint>>(
          slot.points.get(), slot.points.get() + next.pointCount);
      m_bytes += TableBytes(*points);
      picture.points = std::move(points);
      changed = true;
    }
    if (known != seen) changed = true;
  }
  if (changed) m_engineImages = std::move(engineImages);
  return next;
}

bool UndoHistory::Record() {
  bool changed = false;
  State next = Capture(changed);
  if (!changed) return false;
  while (m_states.size() > m_present + 1) {
    Drop(m_states.back());
    m_states.pop_back();
  }
  next.id = m_nextId++;
  m_bytes += sizeof(State) + next.pictures.capacity() * sizeof(PictureState);
  m_states.push_back(std::move(next));
  m_present = m_states.size() - 1;
  Trim();
  Changed();
  return true;
}

bool UndoHistory::Undo() {
  Record();
  if (!CanUndo()) return false;
  Restore(m_present - 1);
  Changed();
  return true;
}

bool UndoHistory::Redo() {
  Record();
  if (!CanRedo()) return false;
  Restore(m_present + 1);
  Changed();
  return true;
}

void UndoHistory::MarkSaved() {
  m_savedId = m_states[m_present].id;
  Changed();
}

// Puts the engine into state `index`. The engine holds the present state (Undo and Redo record
// first); a picture that stays in its place keeps its memory, any other is copied in.
void UndoHistory::Restore(std::size_t index) {
  const State& present = m_states[m_present];
  const State& wanted = m_states[index];
  const auto count = static_cast<int32_t>(wanted.pictures.size());
  while (m_engine.pictureCount > count) m_engine.deletePicture(m_engine.pictureCount - 1);
  for (int32_t i = 0; i < count; ++i) {
    const PictureImage* image = wanted.pictures[i].image.get();
    if (i >= m_engine.pictureCount) {
      std::unique_ptr<PictureImage> copy;
      if (image) copy = std::make_unique<PictureImage>(*image);
      m_engine.insertPicture(std::move(copy), i);
    } else {
      PictureSlot& slot = m_engine.pictures[i];
      const auto at = static_cast<std::size_t>(i);
      const bool inPlace = at < present.pictures.size() && at < m_engineImages.size() &&
                           m_engineImages[at] == slot.image.get() &&
                           present.pictures[at].image == wanted.pictures[i].image;
      if (!inPlace) {
        if (!image) {
          slot.image.reset();
        } else if (slot.image) {
          *slot.image = *image;
        } else {
          slot.image = std::make_unique<PictureImage>(*image);
        }
      }
    }
    const std::vector<ControlPoint>& points = *wanted.pictures[i].points;
    std::copy(points.begin(), points.end(), m_engine.pictures[i].points.get());
  }
  m_engine.pointCount = wanted.pointCount;
  m_engineImages.resize(count);
  for (int32_t i = 0; i < count; ++i) m_engineImages[i] = m_engine.pictures[i].image.get();
  m_present = index;
}

// Releases a state that leaves the history, counting off what no other state shares.
void UndoHistory::Drop(State& state) {
  for (PictureState& picture : state.pictures) {
    if (picture.image && picture.image.use_count() == 1) m_bytes -= sizeof(PictureImage);
    if (picture.points.use_count() == 1) m_bytes -= TableBytes(*picture.points);
  }
  m_bytes -= sizeof(State) + state.pictures.capacity() * sizeof(PictureState);
  state.pictures.clear();
}

void UndoHistory::Trim() {
  while (m_present > m_maxSteps || (m_present > 1 && m_bytes > m_maxBytes)) {
    Drop(m_states.front());
    m_states.pop_front();
    --m_present;
  }
}

void UndoHistory::Changed() {
  if (m_listener) m_listener();
}
