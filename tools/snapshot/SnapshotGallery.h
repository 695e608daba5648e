#pragma once

class QWidget;

/// A window-sized page showing every drawing widget in representative states.
QWidget* makeSnapshotGallery();
