#include "core/batch_paths.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// Bounds the descent of a recursive listing: symbolic links to folders are
// not followed, so only a folder tree this deep could exhaust it.
constexpr int kMaxFolderDepth = 64;

bool IsFolder(const std::string& path)
{
    std::error_code ec;
    return fs::is_directory(path, ec);
}

std::string Join(const std::string& folder, const std::string& name)
{
    return !folder.empty() && folder.back() == '/' ? folder + name : folder + "/" + name;
}

// False when the folder cannot be listed.
bool ListFolder(const std::string& folder, bool recursive, int depth, std::vector<BatchPath>& out)
{
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec)
        return false;
    struct Item {
        std::string name;
        bool folder;
    };
    std::vector<Item> items;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec)
            break;
        const fs::directory_entry& entry = *it;
        std::error_code typeEc;
        if (entry.is_regular_file(typeEc))
            items.push_back({entry.path().filename().string(), false});
        else if (recursive && !entry.is_symlink(typeEc) && entry.is_directory(typeEc))
            items.push_back({entry.path().filename().string(), true});
    }
    // Names compare by their bytes, as paths do everywhere else.
    std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.name < b.name; });
    // A batch of a hundred thousand files lives as long as the batch: the
    // room for a folder's files is taken at once, not by doubling.
    if (out.capacity() < out.size() + items.size())
        out.reserve(std::max(out.size() + items.size(), out.capacity() * 2));
    for (const Item& item : items) {
        const std::string path = Join(folder, item.name);
        if (!item.folder)
            out.push_back({path, true});
        else if (depth < kMaxFolderDepth)
            ListFolder(path, recursive, depth + 1, out);
    }
    return true;
}

}  // namespace

std::vector<BatchPath> ExpandFolders(const std::vector<std::string>& paths, bool recursive)
{
    std::vector<BatchPath> batch;
    batch.reserve(paths.size());
    for (const std::string& path : paths) {
        if (!IsFolder(path) || !ListFolder(path, recursive, 0, batch))
            batch.push_back({path, false});
    }
    return batch;
}
