#pragma once

#include <memory>

#include <QPointer>

#include "FRWPageViewController.h"
#include "FRWProfile.h"
#include "FRWScreens.h"
#include "FRWTheme.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;
class QVBoxLayout;
class FRWProfileRow;

/// The profile library: the list of profiles with the active one marked, and an editor for the
/// selected profile's name and whole text. Every change goes through the library.
class FRWProfileViewController : public FRWPageViewController {
    Q_OBJECT
public:
    explicit FRWProfileViewController(FRWScreensContext context, QObject* parent = nullptr);

    void rebuildList();
    void loadSelectedIntoEditor();
    /// Copies the editor into the selected profile, in memory only. Fields the user has not
    /// touched since they were loaded are left alone, so changes made elsewhere are not undone.
    void commitEditorToSelected();
    void save();
    void newProfile();
    void duplicateProfile();
    void deleteProfile();
    void setActive();
    void select(const FRWProfilePtr& profile);
    /// Opens the desktop's file chooser; the chosen file goes through importFile().
    void importConfig();
    /// Replaces the editor's text with the file's; false (editor unchanged) when it cannot be read
    /// as UTF-8 text.
    bool importFile(const QString& path);

    FRWProfilePtr selected() const { return m_selected.lock(); }
    QList<FRWProfileRow*> rows() const;
    QLineEdit* nameField() const { return m_nameField; }

protected:
    void viewDidLoad() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void libraryChanged();
    bool editorModified() const;
    /// True when a field the user edited was also changed in the library since it was loaded.
    bool changedUnderneath() const;
    /// Shows the choice between the two versions when there is one to make; true while it is open.
    bool conflictPending();
    void keepEditorEdits();
    void showNote(const QString& text, const FRWDynamicColor& color, int ms);

    FRWScreensContext m_context;
    std::weak_ptr<FRWProfile> m_selected;
    QWidget* m_listWidget = nullptr;
    QVBoxLayout* m_listStack = nullptr;
    QLineEdit* m_nameField = nullptr;
    QPlainTextEdit* m_editor = nullptr;
    QPushButton* m_activeButton = nullptr;
    QLabel* m_savedNote = nullptr;
    QWidget* m_conflictBar = nullptr;
    QLabel* m_conflictLabel = nullptr;
    /// What the editor was last filled with, to tell the user's edits from stale text.
    QString m_loadedName;
    QString m_loadedText;
    /// Set while this page drives the library, whose change signal it then ignores.
    bool m_acting = false;
};
