#include "core/batch_paths.h"

#include <algorithm>
#include <filesystem>
#include <string_view>
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

constexpr std::string_view kSideFileSuffix = ".decompress";

std::string Join(const std::string& folder, const std::string& name)
{
    return !folder.empty() && folder.back() == '/' ? folder + name : folder + "/" + name;
}

struct Item {
    std::string name;
    bool folder;
};

bool ByName(const Item& a, const Item& b)
{
    // Names compare by their bytes, as paths do everywhere else.
    return a.name < b.name;
}

// Which items of a folder's listing, sorted by name, are side files that the
// analysis of a compressed SWF file wrote beside it: this program's own
// output, not files of the folder.
std::vector<bool> OwnSideFiles(const std::vector<Item>& items)
{
    std::vector<bool> own(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        const Item& item = items[i];
        if (item.folder || !item.name.ends_with(kSideFileSuffix))
            continue;
        const Item owner{item.name.substr(0, item.name.size() - kSideFileSuffix.size()), false};
        const auto found = std::lower_bound(items.begin(), items.end(), owner, ByName);
        own[i] = found != items.end() && found->name == owner.name && !found->folder;
    }
    return own;
}

// False when the folder cannot be listed.
bool ListFolder(const std::string& folder, bool recursive, int depth, std::vector<BatchPath>& out)
{
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec)
        return false;
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
    std::sort(items.begin(), items.end(), ByName);
    const std::vector<bool> sideFiles = OwnSideFiles(items);
    // A batch of a hundred thousand files lives as long as the batch: the
    // room for a folder's files is taken at once, not by doubling.
    if (out.capacity() < out.size() + items.size())
        out.reserve(std::max(out.size() + items.size(), out.capacity() * 2));
    for (size_t i = 0; i < items.size(); ++i) {
        const Item& item = items[i];
        if (sideFiles[i])
            continue;
        const std::string path = Join(folder, item.name);
        if (!item.folder)
            out.push_back({path, true});
        else if (depth < kMaxFolderDepth)
            ListFolder(path, recursive, depth + 1, out);
    }
    return true;
}

}  // namespace

std::vector<BatchPath> ExpandFolders(const std::vector<std::string>& paths, bool recursive,
                                     std::vector<std::string>* emptyFolders)
{
    std::vector<BatchPath> batch;
    batch.reserve(paths.size());
    for (const std::string& path : paths) {
        const size_t before = batch.size();
        if (!IsFolder(path) || !ListFolder(path, recursive, 0, batch))
            batch.push_back({path, false});
        else if (batch.size() == before && emptyFolders)
            emptyFolders->push_back(path);
    }
    return batch;
}
