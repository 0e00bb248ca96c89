// The editor's objects of static storage, in the order they must be built: the engine first
// (its construction starts the board, or ends the program when there is none), then the panes
// that draw its pictures and the undo history of its project. They are destroyed in the reverse
// order.
#include "editor/picture_pane.h"
#include "editor/undo_history.h"
#include "engine/morph_engine.h"

MorphEngine g_engine;
CPicturePane g_panes[2];
UndoHistory g_history(g_engine);
int32_t g_leftPicture = 0;
