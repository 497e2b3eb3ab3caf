#include "app/DeviceWatch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>

namespace {

constexpr uint32_t kEntryEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;

}  // namespace

DeviceWatch::DeviceWatch(const QString& folder, std::function<void()> changed, QObject* parent)
    : QObject(parent),
      folder_(QDir::cleanPath(folder)),
      changed_(std::move(changed)),
      inotify_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (!inotify_.Valid()) return;
    notifier_ = std::make_unique<QSocketNotifier>(inotify_.Get(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &DeviceWatch::OnReadable);
    Rewatch();
}

DeviceWatch::~DeviceWatch() = default;

QStringList DeviceWatch::Watched() const {
    QStringList folders;
    for (const auto& [descriptor, path] : watches_) folders.push_back(path);
    return folders;
}

void DeviceWatch::Rewatch() {
    QString nearest = folder_;
    while (!QFileInfo(nearest).isDir() && nearest != QFileInfo(nearest).path()) {
        nearest = QFileInfo(nearest).path();
    }
    const QStringList wanted{QStringLiteral("/dev"), nearest};
    for (auto it = watches_.begin(); it != watches_.end();) {
        if (wanted.contains(it->second)) {
            ++it;
        } else {
            ::inotify_rm_watch(inotify_.Get(), it->first);
            it = watches_.erase(it);
        }
    }
    for (const QString& path : wanted) {
        const int descriptor =
            ::inotify_add_watch(inotify_.Get(), QFile::encodeName(path).constData(), kEntryEvents);
        if (descriptor >= 0) watches_[descriptor] = path;
    }
}

void DeviceWatch::OnReadable() {
    alignas(inotify_event) char buffer[4096];
    bool relevant = false;
    for (;;) {
        const ssize_t n = ::read(inotify_.Get(), buffer, sizeof buffer);
        if (n <= 0) break;
        for (ssize_t offset = 0; offset < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            if (event->mask & IN_IGNORED) {
                watches_.erase(event->wd);
            } else {
                relevant = true;
            }
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    if (!relevant) return;
    Rewatch();
    changed_();
}
