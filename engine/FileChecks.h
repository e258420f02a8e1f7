// SPDX-License-Identifier: GPL-3.0-or-later
// What the engine asks of a name before it reads or writes there: the same rules on every
// system, above the seam (FileIo.h), with the path syntax of Paths.h.
#pragma once

#include <string>

namespace Module1::io {

// A path as the engine takes it from the caller. A text holding U+0000 names no file (the
// system would cut it there and reach another one), so it is refused, naming the text.
std::string PathOf(const std::u16string& text);

// Throws for a name no file may have on this system (see BadNameOf): "文件名、目录名或卷标语法
// 不正确" for a stream's name, the reserved device name failure for a device's.
void CheckNameAllowed(const std::string& path);
// Throws unless a file of this name can be created in its folder, whose longest name is
// nameLimit: the name allowed, no longer than that (see NameLength), and the whole path no
// longer than the system takes ("文件名太长"; on Windows "路径太长" for the path).
void CheckNameFits(const std::string& path, long nameLimit);
// Throws unless path is absent or a regular file, or a symbolic link to one (or to nothing).
// A folder is "路径/文件访问错误".
void CheckRegularOrAbsent(const std::string& path);

}  // namespace Module1::io
