#pragma once

#include <functional>

#include <QDir>
#include <QString>

class QWidget;

/// The monitoring screens in the main window, empty and busy with live data from a canned
/// controller on loopback, each saved through `save` into the folder's "screens" subfolder with
/// names ending in `suffix`.
bool saveScreenSnapshots(const QDir& folder, const QString& suffix,
                         const std::function<bool(QWidget*, const QDir&, const QString&)>& save);
