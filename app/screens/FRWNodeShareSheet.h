#pragma once

#include <QDialog>
#include <QVariantMap>

class QLabel;
class QPushButton;

/// The sheet that hands a node to another device: its ferrow:// link as a QR code, with a button
/// that copies the link and a warning that the link holds the node's key.
class FRWNodeShareSheet : public QDialog {
    Q_OBJECT
public:
    /// `node` is the node's record ("name", "server", "port", "psk", "tfo").
    FRWNodeShareSheet(QWidget* window, const QVariantMap& node);

    /// The link shown, empty when the node cannot be written as one.
    QString link() const { return m_link; }
    /// The QR code as drawn, a null image when there is none.
    QImage code() const;
    void copyLink();

private:
    QString m_link;
    QLabel* m_code = nullptr;
    QPushButton* m_copy = nullptr;
};
