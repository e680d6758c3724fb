#pragma once

// The last four archives opened, most recent first, as (title, path) pairs. Paths are unique, compared
// ignoring letter case. Stored under "MRU" as Title1-4 and File1-4.

#include <QSettings>
#include <QStringList>

namespace kelvot::app {

class RecentArchives {
  public:
    static constexpr int kMaxCount = 4;

    // Reads pairs from Title1/File1 on, stopping at the first empty title.
    void Load(QSettings& settings);
    // Puts the pair first, drops older pairs with the same path and keeps four at most.
    void Add(const QString& title, const QString& path);
    // Writes the pairs and deletes the keys of positions no longer held.
    void Save(QSettings& settings) const;

    int count() const { return static_cast<int>(titles_.size()); }
    const QString& title(int n) const { return titles_.at(n - 1); } // n from 1
    const QString& path(int n) const { return paths_.at(n - 1); }

  private:
    QStringList titles_, paths_;
};

} // namespace kelvot::app
