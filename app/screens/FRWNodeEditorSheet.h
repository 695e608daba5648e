#pragma once

#include <QDialog>
#include <QVariantMap>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

/// What the node editor hands back on commit.
struct FRWNodeEdit {
    QString oldName; ///< empty when adding
    QString name;
    QString server;
    int port = 443;
    QString psk;
    QString tfo;
};

/// The sheet that adds or edits one node: name, server, port, TCP Fast Open and key, with a
/// ferrow:// link pasted into any field or from the clipboard filling the form.
class FRWNodeEditorSheet : public QDialog {
    Q_OBJECT
public:
    /// `details` are the node's record when editing (with its name in `oldName`), empty when adding.
    /// `takenNodes` and `takenGroups` are the profile's policy names, which a new name cannot reuse.
    FRWNodeEditorSheet(QWidget* window, const QString& oldName, const QVariantMap& details,
                       QStringList takenNodes = {}, QStringList takenGroups = {});

    /// Fills the form from a node link; false, and nothing changed, when the text is not one.
    bool applyShareURI(const QString& text);
    /// Applies the clipboard's text, or says there is no link on it.
    void pasteShareLink();
    void validate();
    void togglePSKReveal();
    void commit();

    QLineEdit* nameField() const { return m_name; }
    /// Why the form cannot be saved, or a warning about the key; empty when there is neither.
    QLabel* problemNote() const { return m_problemNote; }

signals:
    void committed(const FRWNodeEdit& edit);

private:
    void fieldEdited(const QString& text);
    /// The port field's leading integer, 0 when it has none.
    int portValue() const;

    QString m_oldName;
    QStringList m_takenNodes;
    QStringList m_takenGroups;
    QLabel* m_problemNote = nullptr;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_server = nullptr;
    QLineEdit* m_port = nullptr;
    QLineEdit* m_key = nullptr;
    QComboBox* m_tfo = nullptr;
    QPushButton* m_commit = nullptr;
    QToolButton* m_reveal = nullptr;
    QLabel* m_pasteNote = nullptr;
    QLabel* m_reachedNote = nullptr;
};
