#include "app/recent_archives.h"

namespace kelvot::app {

namespace {

QString Key(const char* name, int n) {
    return QStringLiteral("MRU/%1%2").arg(QLatin1String(name)).arg(n);
}

} // namespace

void RecentArchives::Load(QSettings& settings) {
    titles_.clear();
    paths_.clear();
    for (int n = 1; n <= kMaxCount; ++n) {
        const QString title = settings.value(Key("Title", n)).toString();
        if (title.isEmpty()) break;
        titles_.append(title);
        paths_.append(settings.value(Key("File", n)).toString());
    }
}

void RecentArchives::Add(const QString& title, const QString& path) {
    titles_.prepend(title);
    paths_.prepend(path);
    for (qsizetype i = paths_.size() - 1; i >= 1; --i) {
        if (paths_[i].compare(path, Qt::CaseInsensitive) == 0) {
            titles_.removeAt(i);
            paths_.removeAt(i);
        }
    }
    while (titles_.size() > kMaxCount) {
        titles_.removeLast();
        paths_.removeLast();
    }
}

void RecentArchives::Save(QSettings& settings) const {
    for (int n = 1; n <= kMaxCount; ++n) {
        if (n <= count()) {
            settings.setValue(Key("Title", n), title(n));
            settings.setValue(Key("File", n), path(n));
        } else {
            settings.remove(Key("Title", n));
            settings.remove(Key("File", n));
        }
    }
}

} // namespace kelvot::app
