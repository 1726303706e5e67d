#include "swf/side_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

// Whether the name may be replaced: it holds a regular file or nothing.
bool Replaceable(const std::string& name)
{
    struct stat st {};
    if (lstat(name.c_str(), &st) != 0)
        return errno == ENOENT;
    return S_ISREG(st.st_mode);
}

}  // namespace

CSideFile::~CSideFile()
{
    if (!temporary_.empty()) {
        file_.reset();
        unlink(temporary_.c_str());
    }
}

FILE* CSideFile::Create()
{
    // A short hidden name in the same folder, so that the rename stays on
    // one file system and the name fits wherever the side file's does.
    const size_t slash = name_.rfind('/');
    std::string pattern =
        (slash == std::string::npos ? std::string() : name_.substr(0, slash + 1)) + ".vantrel-XXXXXX";
    // mkostemp opens with O_CREAT | O_EXCL: it never reuses a name that
    // exists, a dangling link included.
    const int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    temporary_ = pattern;
    // mkostemp makes the file private; the side file gets the permissions a
    // newly created file of this process would have.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    file_.reset(fdopen(fd, "w+b"));
    if (!file_)
        close(fd);
    return file_.get();
}

FilePtr CSideFile::Commit()
{
    if (!file_ || std::fflush(file_.get()) != 0 || std::ferror(file_.get()))
        return nullptr;
    if (!Replaceable(name_) || std::rename(temporary_.c_str(), name_.c_str()) != 0)
        return nullptr;
    temporary_.clear();
    std::rewind(file_.get());
    return std::move(file_);
}
