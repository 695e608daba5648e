#pragma once

#include <functional>

#include <QDir>
#include <QString>

class QWidget;

/// The tray menu in both of its forms and the panel shown while quitting, each saved through
/// `save` with names ending in `suffix`.
bool saveShellSnapshots(const QDir& folder, const QString& suffix,
                        const std::function<bool(QWidget*, const QDir&, const QString&)>& save);
