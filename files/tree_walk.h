#pragma once
// The files of a folder tree for the command-line converter (-r). Unlike the
// window's folder scan (folder_scan.h), which keeps the names it can show and
// drops folders it cannot list without a word, this walk takes every name the
// file system gives as bytes, has no depth limit and reports each folder it
// cannot list.

#include <functional>
#include <string>
#include <string_view>

#include <engine/error_trap.h>

namespace tabrivo {

// Calls `onFile` with the path of each file of the tree of `folder` whose name
// matches `pattern` (see wildcardMatch): the folder's own files, then each
// level below, every folder's names in byte order, the order the window's
// scan gives. Names are bytes: any byte but "/" and NUL is kept as it is,
// whether or not it is UTF-8 or a control character. Left out: names that
// begin with "~" or "." (hidden) among the files, and symbolic links to
// folders (never followed, so the walk cannot loop); folders whose names
// begin with "." are searched. `folder` itself may be a link.
//
// Folders are opened relative to their parent, so a tree deeper than the
// system's path limit is walked whole (a path that long is given all the
// same; opening it by path is the caller's concern). Each folder that cannot
// be listed, `folder` itself included, goes to `reporter` as one line naming
// it and the reason, and the walk goes on with the others; one removed or
// replaced by a file during the walk is passed over.
void walkTreeFiles(const std::string& folder, std::string_view pattern,
                   const std::function<void(std::string)>& onFile, FailureReporter& reporter);

}  // namespace tabrivo
