#pragma once

#include "FRWPageViewController.h"
#include "FRWScreens.h"

class QLabel;
class QToolButton;

/// What Ferrow is for, that it needs the user's own server, and the one line that sets one up.
class FRWAboutViewController : public FRWPageViewController {
    Q_OBJECT
public:
    static constexpr int kCopyRestoreMs = 1500;

    explicit FRWAboutViewController(FRWScreensContext context, QObject* parent = nullptr);

    /// The commands that set up a server: the installer fetched from `releaseLocation`, or,
    /// without one, the ferrow-server package copied to the server and set up there.
    static QString installCommand(const QString& releaseLocation);
    /// Puts the command on the clipboard and shows a check mark for a moment.
    void pasteInstallCommand();

    /// The symbol the copy button shows now: "doc.on.doc" or "checkmark".
    QString copySymbol() const { return m_copySymbol; }
    QLabel* versionLabel() const { return m_versionLabel; }

protected:
    void viewDidLoad() override;

private:
    void showCopyGlyph(const QString& symbol);

    FRWScreensContext m_context;
    QToolButton* m_copyButton = nullptr;
    QLabel* m_versionLabel = nullptr;
    QString m_copySymbol;
};
