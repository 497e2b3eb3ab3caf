#pragma once

// Tells the main window when serial devices come or go: an inotify watch on the serial
// device folder (while it does not exist, on the nearest folder above it) and on /dev. Only
// entries appearing, vanishing or being renamed count; attribute changes (a device node's
// times, shared-memory files) do not. Every such batch is one call of the handler on the
// user-interface thread. Owned by the main window.

#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>

#include "platform/UniqueFd.h"

class DeviceWatch final : public QObject {
    Q_OBJECT

public:
    DeviceWatch(const QString& folder, std::function<void()> changed, QObject* parent = nullptr);
    ~DeviceWatch() override;

    [[nodiscard]] QStringList Watched() const;

private:
    // /dev, and the folder or, while it does not exist, the nearest folder above it: when the
    // folder appears (the first device plugged in), the watch moves down to it.
    void Rewatch();
    void OnReadable();

    QString folder_;
    std::function<void()> changed_;
    platform::UniqueFd inotify_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::map<int, QString> watches_;  // watch descriptor -> folder
};
