// Path text helpers shared by the platform layers.
#ifndef SFX_PATH_H
#define SFX_PATH_H

#include <string>

// The absolute form of `path` made from the text alone, the way the Windows
// full-path function makes one, for '/'-separated paths: a relative path is
// taken against `currentDirectory` (itself absolute), empty and "."
// components are dropped, ".." removes the component before it (never
// climbing above the root), and a trailing separator is kept.
std::string sfxLexicalFullPath(const std::string& currentDirectory, const std::string& path);

#endif
