// Walks over a package folder that find its pictures by file name extension:
// jpg, bmp, png, gif, emf, jpeg, in any letter case. Entries of each folder are
// visited sorted by name (byte order), sub-folders depth first where they are met,
// so the same tree always gives the same result.
#pragma once

#include <string>
#include <vector>

#include "engine/WindowView.h"

namespace tavrin {

// True when the text after the last '.' of the file name is a picture extension.
bool IsPictureName(const std::string& fileName);

// Full path of the first picture of the walk, or an empty text when there is none.
std::string FindFirstPicturePath(const std::string& folder);

// Shows the first picture with SetPicture(path, NoText); 1 when one was shown, 0 otherwise.
int FindFirstPicture(const std::string& folder, WindowView& view);

// Copies every picture of the tree flat into `mediaFolder` under its own name
// (a later one of the same name replaces an earlier one). Each copy goes through a
// temporary name, so no half-copied picture is ever left. Failed copies are skipped
// and, when `failed` is given, their file names added to it.
// 1 when the walk ran to its end, 0 when the folder could not be listed.
// The media folder is opened without following a link (a link there is a failure of
// every copy), and every copy is made relative to it, so nothing is written outside it.
int CopyPictures(const std::string& folder, const std::string& mediaFolder,
                 std::vector<std::string>* failed = nullptr);

// The same into the open folder `mediaFd` (-1: every copy fails).
int CopyPictures(const std::string& folder, int mediaFd, std::vector<std::string>* failed = nullptr);

} // namespace tavrin
