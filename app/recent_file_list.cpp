#include "app/recent_file_list.h"

namespace {
const QString kSection = QStringLiteral("Recent File List");
QString Key(int index)
{
    return QStringLiteral("File%1").arg(index + 1);
}
}  // namespace

void CRecentFileList::Load(QSettings& settings)
{
    paths_.clear();
    settings.beginGroup(kSection);
    for (int i = 0; i < size_; ++i) {
        const QString path = settings.value(Key(i)).toString();
        if (!path.isEmpty() && !paths_.contains(path))
            paths_ << path;
    }
    settings.endGroup();
}

void CRecentFileList::Save(QSettings& settings) const
{
    settings.beginGroup(kSection);
    for (int i = 0; i < size_; ++i) {
        if (i < paths_.size())
            settings.setValue(Key(i), paths_[i]);
        else
            settings.remove(Key(i));
    }
    settings.endGroup();
}

void CRecentFileList::Add(const QString& path)
{
    if (size_ <= 0 || path.isEmpty())
        return;
    paths_.removeAll(path);
    paths_.prepend(path);
    while (paths_.size() > size_)
        paths_.removeLast();
}
