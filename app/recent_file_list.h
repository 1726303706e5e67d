#pragma once
// The profile's recent-file list: at most a fixed number of paths, the most
// recent first, kept in the settings under "Recent File List" as File1,
// File2, ... It is shown in no menu.
#include <QSettings>
#include <QStringList>

class CRecentFileList {
public:
    explicit CRecentFileList(int size) : size_(size) {}

    void Load(QSettings& settings);
    void Save(QSettings& settings) const;
    // Puts path first, dropping an older copy of it and the entries beyond
    // the list's size.
    void Add(const QString& path);
    const QStringList& Paths() const { return paths_; }
    int Size() const { return size_; }

private:
    int size_;
    QStringList paths_;
};
