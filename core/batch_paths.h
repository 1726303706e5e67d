#pragma once
// Turns the paths of one opening batch into the files to open: a folder
// stands for the files in it, in name order (with recursive, also those of
// its subfolders, each at its own place in that order). A file found inside
// a folder is opened like any other, except that an unsupported one is
// skipped without a message of its own.
#include <string>
#include <vector>

struct BatchPath {
    std::string path;
    bool inFolder = false;
};

// Paths that are not folders, and folders that cannot be listed, are passed
// on as they are (the opening procedure reports them). Only regular files
// are taken from a folder: reading a pipe or a device could block. The side
// files this program writes beside compressed SWF files are not taken. A
// folder of paths that gives no file at all is added to emptyFolders, when
// given.
std::vector<BatchPath> ExpandFolders(const std::vector<std::string>& paths, bool recursive,
                                     std::vector<std::string>* emptyFolders = nullptr);
