// File-dialog filters kept in the classic form, "description|pattern|...||", and turned into
// the form Qt's file dialog takes.
#pragma once

#include <string>

// "Pictures  [ BMP ]|*.bmp|All Files (*.*) |*.*||" becomes
// "Pictures  [ BMP ] (*.bmp *.BMP);;All Files (*.*) (*)": each pattern also in upper case, as
// Linux file names are case-sensitive, and "*.*" as "*", which also matches names without a dot.
// Without `upperCaseToo` the patterns stand as written (Qt's own file dialog matches them in any
// case).
std::string QtFilterFromClassic(const std::string& classic, bool upperCaseToo = true);
