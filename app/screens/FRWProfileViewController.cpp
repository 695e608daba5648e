#include "FRWProfileViewController.h"

#include <utility>

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QToolButton>
#include <QVBoxLayout>

#include "FRWAccessibility.h"
#include "FRWCardView.h"
#include "FRWEditorKit.h"
#include "FRWProfileRow.h"
#include "FRWProfileStore.h"
#include "FRWTimerSource.h"
#include "FRWUtf8.h"

namespace {
constexpr int kCardHeight = 560;
constexpr int kListWidth = 220;
constexpr int kNoteMs = 2000;
constexpr int kTrashNoteMs = 5000;
const QString kDefaultName = QStringLiteral("Profile");

/// The editor holds LF-separated text: a CR left before each LF would end up inside keys and names.
QString withUnixLineEnds(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}
} // namespace

FRWProfileViewController::FRWProfileViewController(FRWScreensContext context, QObject* parent)
    : FRWPageViewController(tr("Profile"), parent), m_context(std::move(context))
{
}

void FRWProfileViewController::viewDidLoad()
{
    FRWPageViewController::viewDidLoad();
    QVBoxLayout* content = contentLayout();
    content->addSpacing(14);
    auto* row = new QHBoxLayout;
    row->setSpacing(16);

    // The list card.
    auto* listCard = FRWCardView::card(contentView());
    listCard->setObjectName(QStringLiteral("listCard"));
    listCard->setCornerRadius(12);
    listCard->setFixedSize(kListWidth, kCardHeight);
    auto* listLayout = new QVBoxLayout(listCard);
    listLayout->setContentsMargins(10, 14, 10, 10);
    listLayout->setSpacing(8);
    auto* caption = FRWEditorKit::label(tr("PROFILES"), 11, QFont::DemiBold, FRWTheme::secondaryLabel());
    caption->setContentsMargins(4, 0, 0, 0);
    listLayout->addWidget(caption);
    m_listWidget = new QWidget;
    m_listWidget->setObjectName(QStringLiteral("profileListWidget"));
    m_listWidget->setFocusPolicy(Qt::StrongFocus);
    FRWFocus::setRole(m_listWidget, QAccessible::List);
    m_listWidget->setAccessibleName(tr("Profiles"));
    m_listWidget->installEventFilter(this);
    m_listStack = new QVBoxLayout(m_listWidget);
    m_listStack->setContentsMargins(0, 0, 0, 0);
    m_listStack->setSpacing(2);
    listLayout->addWidget(m_listWidget);
    listLayout->addStretch(1);
    auto* tools = new QHBoxLayout;
    tools->setSpacing(6);
    const QSize toolSize(24, 22);
    auto* add = FRWEditorKit::symbolButton(QStringLiteral("plus"), toolSize, tr("New Profile"));
    add->setObjectName(QStringLiteral("newToolButton"));
    auto* copy = FRWEditorKit::symbolButton(QStringLiteral("plus.square.on.square"), toolSize,
                                            tr("Duplicate Profile"));
    copy->setObjectName(QStringLiteral("duplicateToolButton"));
    auto* remove = FRWEditorKit::symbolButton(QStringLiteral("trash"), toolSize, tr("Delete Profile"));
    remove->setObjectName(QStringLiteral("deleteToolButton"));
    tools->addWidget(add);
    tools->addWidget(copy);
    tools->addWidget(remove);
    tools->addStretch(1);
    listLayout->addLayout(tools);
    row->addWidget(listCard);

    // The editor card.
    auto* editorCard = FRWCardView::card(contentView());
    editorCard->setObjectName(QStringLiteral("editorCard"));
    editorCard->setCornerRadius(12);
    editorCard->setFixedHeight(kCardHeight);
    auto* editorLayout = new QVBoxLayout(editorCard);
    editorLayout->setContentsMargins(16, 14, 16, 14);
    editorLayout->setSpacing(10);
    auto* top = new QHBoxLayout;
    top->setSpacing(10);
    top->addWidget(FRWEditorKit::label(tr("Name"), 13, QFont::Medium, FRWTheme::primaryText()));
    m_nameField = new QLineEdit;
    m_nameField->setObjectName(QStringLiteral("nameLineEdit"));
    m_nameField->setAccessibleName(tr("Profile Name"));
    m_nameField->setFixedWidth(240);
    top->addWidget(m_nameField);
    top->addStretch(1);
    m_activeButton = new QPushButton(tr("Set as Active"));
    m_activeButton->setObjectName(QStringLiteral("activeButton"));
    top->addWidget(m_activeButton);
    editorLayout->addLayout(top);
    m_conflictBar = new QWidget;
    m_conflictBar->setObjectName(QStringLiteral("conflictBar"));
    auto* conflictLayout = new QHBoxLayout(m_conflictBar);
    conflictLayout->setContentsMargins(0, 0, 0, 0);
    m_conflictLabel = FRWEditorKit::label(QString(), 12, QFont::Normal, FRWTheme::secondaryLabel());
    m_conflictLabel->setObjectName(QStringLiteral("conflictLabel"));
    m_conflictLabel->setWordWrap(true);
    auto* reloadButton = new QPushButton(tr("Reload"));
    reloadButton->setObjectName(QStringLiteral("reloadButton"));
    auto* keepButton = new QPushButton(tr("Keep Mine"));
    keepButton->setObjectName(QStringLiteral("keepMineButton"));
    conflictLayout->addWidget(m_conflictLabel, 1);
    conflictLayout->addWidget(reloadButton);
    conflictLayout->addWidget(keepButton);
    m_conflictBar->hide();
    editorLayout->addWidget(m_conflictBar);
    m_editor = new QPlainTextEdit;
    // A profile is written left to right in every language, like code.
    m_editor->setLayoutDirection(Qt::LeftToRight);
    m_editor->setObjectName(QStringLiteral("configPlainTextEdit"));
    m_editor->setAccessibleName(tr("Profile Text"));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(12);
    m_editor->setFont(mono);
    m_editor->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_editor->setUndoRedoEnabled(true);
    m_editor->setTabChangesFocus(false);
    m_editor->document()->setDocumentMargin(6);
    m_editor->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    FRWTheme::bindTextColor(m_editor, FRWTheme::primaryText());
    editorLayout->addWidget(m_editor, 1);
    auto* bottom = new QHBoxLayout;
    bottom->setSpacing(10);
    auto* saveButton = new QPushButton(tr("Save"));
    saveButton->setObjectName(QStringLiteral("saveButton"));
    saveButton->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    auto* importButton = new QPushButton(tr("Import\u2026"));
    importButton->setObjectName(QStringLiteral("importButton"));
    m_savedNote = FRWEditorKit::label(QString(), 12, QFont::Normal, FRWTheme::greenText());
    m_savedNote->setObjectName(QStringLiteral("savedNoteLabel"));
    bottom->addWidget(saveButton);
    bottom->addWidget(importButton);
    bottom->addWidget(m_savedNote, 1);
    editorLayout->addLayout(bottom);
    row->addWidget(editorCard, 1);
    content->addLayout(row);
    content->addSpacing(28);

    connect(add, &QToolButton::clicked, this, &FRWProfileViewController::newProfile);
    connect(copy, &QToolButton::clicked, this, &FRWProfileViewController::duplicateProfile);
    connect(remove, &QToolButton::clicked, this, &FRWProfileViewController::deleteProfile);
    connect(m_activeButton, &QPushButton::clicked, this, &FRWProfileViewController::setActive);
    connect(saveButton, &QPushButton::clicked, this, &FRWProfileViewController::save);
    connect(importButton, &QPushButton::clicked, this, &FRWProfileViewController::importConfig);
    connect(reloadButton, &QPushButton::clicked, this, &FRWProfileViewController::loadSelectedIntoEditor);
    connect(keepButton, &QPushButton::clicked, this, &FRWProfileViewController::keepEditorEdits);
    // Return in the name field saves, as the Save button's key would; the text editor keeps Return.
    connect(m_nameField, &QLineEdit::returnPressed, this, &FRWProfileViewController::save);
    connect(m_context.profiles, &FRWProfileStore::profilesChanged, this,
            &FRWProfileViewController::libraryChanged);

    m_selected = m_context.profiles->activeProfile();
    rebuildList();
    loadSelectedIntoEditor();
}

QList<FRWProfileRow*> FRWProfileViewController::rows() const
{
    return m_listWidget ? m_listWidget->findChildren<FRWProfileRow*>(Qt::FindDirectChildrenOnly)
                        : QList<FRWProfileRow*>();
}

void FRWProfileViewController::rebuildList()
{
    if (!m_listStack) {
        return;
    }
    for (FRWProfileRow* old : rows()) {
        m_listStack->removeWidget(old);
        old->hide();
        old->deleteLater();
        old->setParent(nullptr);
    }
    const FRWProfilePtr current = selected();
    const QString activeID = m_context.profiles->activeID();
    for (const FRWProfilePtr& profile : m_context.profiles->profiles()) {
        auto* entry =
            new FRWProfileRow(profile, profile->identifier == activeID, profile == current, m_listWidget);
        connect(entry, &FRWProfileRow::clicked, this, &FRWProfileViewController::select);
        m_listStack->addWidget(entry);
    }
}

void FRWProfileViewController::loadSelectedIntoEditor()
{
    const FRWProfilePtr profile = selected();
    m_loadedName = profile ? profile->name : QString();
    m_loadedText = profile ? profile->configText : QString();
    m_nameField->setText(m_loadedName);
    m_editor->setPlainText(m_loadedText);
    const FRWProfilePtr active = m_context.profiles->activeProfile();
    const bool isActive = profile && profile == active;
    m_activeButton->setEnabled(profile && !isActive);
    m_activeButton->setText(isActive ? tr("Active") : tr("Set as Active"));
    m_conflictBar->hide();
}

bool FRWProfileViewController::editorModified() const
{
    return m_nameField->text() != m_loadedName || m_editor->toPlainText() != m_loadedText;
}

bool FRWProfileViewController::changedUnderneath() const
{
    const FRWProfilePtr profile = selected();
    if (!profile) {
        return false;
    }
    const bool nameClash = m_nameField->text() != m_loadedName && profile->name != m_loadedName;
    const bool textClash = m_editor->toPlainText() != m_loadedText && profile->configText != m_loadedText;
    return nameClash || textClash;
}

bool FRWProfileViewController::conflictPending()
{
    if (!changedUnderneath()) {
        m_conflictBar->hide();
        return false;
    }
    m_conflictLabel->setText(
        tr("\u201c%1\u201d was changed elsewhere while you edited it. Reload it, or keep your "
           "version and save it over those changes.")
            .arg(selected()->name));
    m_conflictBar->show();
    return true;
}

void FRWProfileViewController::keepEditorEdits()
{
    // The library's current text becomes the base, so the next commit writes the editor over it.
    if (const FRWProfilePtr profile = selected()) {
        m_loadedName = profile->name;
        m_loadedText = profile->configText;
    }
    m_conflictBar->hide();
}

void FRWProfileViewController::commitEditorToSelected()
{
    const FRWProfilePtr profile = selected();
    if (!profile) {
        return;
    }
    const QString name = m_nameField->text();
    if (name != m_loadedName || name.isEmpty()) {
        profile->name = name.isEmpty() ? kDefaultName : name;
        m_loadedName = name;
    }
    const QString text = m_editor->toPlainText();
    if (text != m_loadedText) {
        profile->configText = text;
        m_loadedText = text;
    }
}

void FRWProfileViewController::save()
{
    if (conflictPending()) {
        return;
    }
    const QScopedValueRollback acting(m_acting, true);
    commitEditorToSelected();
    m_context.profiles->save();
    // The library may have changed the name (clash, unsafe characters); show what it stored.
    rebuildList();
    loadSelectedIntoEditor();
    showNote(tr("Saved"), FRWTheme::greenText(), kNoteMs);
}

void FRWProfileViewController::newProfile()
{
    if (conflictPending()) {
        return;
    }
    const QScopedValueRollback acting(m_acting, true);
    commitEditorToSelected();
    m_selected = m_context.profiles->addProfileWithName(QStringLiteral("New Profile"));
    rebuildList();
    loadSelectedIntoEditor();
}

void FRWProfileViewController::duplicateProfile()
{
    if (conflictPending()) {
        return;
    }
    const QScopedValueRollback acting(m_acting, true);
    commitEditorToSelected();
    if (const FRWProfilePtr profile = selected()) {
        m_selected = m_context.profiles->duplicateProfile(profile);
        rebuildList();
        loadSelectedIntoEditor();
    }
}

void FRWProfileViewController::deleteProfile()
{
    const FRWProfilePtr profile = selected();
    if (!profile) {
        return;
    }
    if (m_context.profiles->profiles().size() < 2) {
        QApplication::beep();
        return;
    }
    const QScopedValueRollback acting(m_acting, true);
    const QString name = profile->name;
    // No confirmation, but nothing is lost: the file goes to the Trash.
    if (const FRWResult error = m_context.profiles->moveProfileToTrash(profile)) {
        showNote(tr("\u201c%1\u201d was kept: %2").arg(name, error->description), FRWTheme::secondaryLabel(),
                 kTrashNoteMs);
        return;
    }
    m_selected = m_context.profiles->activeProfile();
    rebuildList();
    loadSelectedIntoEditor();
    showNote(tr("Moved \u201c%1\u201d to the Trash").arg(name), FRWTheme::greenText(), kTrashNoteMs);
}

void FRWProfileViewController::setActive()
{
    const FRWProfilePtr profile = selected();
    if (!profile || conflictPending()) {
        return;
    }
    const QScopedValueRollback acting(m_acting, true);
    commitEditorToSelected();
    m_context.profiles->setActiveProfile(profile);
    rebuildList();
    loadSelectedIntoEditor();
}

void FRWProfileViewController::select(const FRWProfilePtr& profile)
{
    if (conflictPending()) {
        return;
    }
    commitEditorToSelected();
    m_selected = profile;
    rebuildList();
    loadSelectedIntoEditor();
}

void FRWProfileViewController::importConfig()
{
    auto* dialog = new QFileDialog(m_editor->window(), tr("Import"));
    dialog->setObjectName(QStringLiteral("importFileDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilters({tr("Profiles (*.conf *.ini *.txt)"), tr("All files (*)")});
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& path) { importFile(path); });
    dialog->open();
}

bool FRWProfileViewController::importFile(const QString& path)
{
    QFile file(path);
    std::optional<QString> text;
    if (file.open(QIODevice::ReadOnly)) {
        text = FRWUtf8::decode(file.readAll());
    }
    if (!text) {
        showNote(tr("\u201c%1\u201d is not a UTF-8 text file").arg(QFileInfo(path).fileName()),
                 FRWTheme::secondaryLabel(), kNoteMs);
        return false;
    }
    // Through the document's undo history, so the import can be undone.
    QTextCursor cursor(m_editor->document());
    cursor.select(QTextCursor::Document);
    cursor.insertText(withUnixLineEnds(*text));
    return true;
}

void FRWProfileViewController::libraryChanged()
{
    if (m_acting || !m_listStack) {
        return;
    }
    // Another part of the app changed the library: follow it, unless the user has unsaved edits
    // of a profile that still exists, which stay in the editor until they are saved or dropped.
    // When that profile changed too, the user chooses between the two versions.
    bool stillThere = selected() && m_context.profiles->profiles().contains(selected());
    if (!stillThere) {
        // A reload from disk makes new profile objects; the same file is still the same profile.
        const FRWProfilePtr same = m_context.profiles->profileNamed(m_loadedName);
        stillThere = same != nullptr;
        m_selected = same ? same : m_context.profiles->activeProfile();
    }
    const bool keepEdits = stillThere && editorModified();
    rebuildList();
    if (!keepEdits) {
        loadSelectedIntoEditor();
        return;
    }
    const FRWProfilePtr profile = selected();
    if (m_editor->toPlainText() == m_loadedText && profile->configText != m_loadedText) {
        // Only the name was edited here: the text follows the library.
        m_loadedText = profile->configText;
        m_editor->setPlainText(m_loadedText);
    }
    conflictPending();
}

void FRWProfileViewController::showNote(const QString& text, const FRWDynamicColor& color, int ms)
{
    m_savedNote->setText(text);
    FRWTheme::bindTextColor(m_savedNote, color);
    // Each note schedules its own clearing.
    FRWTimerSource::orSystem(m_context.timers)
        .singleShot(std::chrono::milliseconds(ms), m_savedNote, [note = QPointer<QLabel>(m_savedNote), text] {
            // A later note clears itself.
            if (note && note->text() == text) {
                note->clear();
            }
        });
}

bool FRWProfileViewController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_listWidget && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QList<FRWProfileRow*> list = rows();
        int index = -1;
        for (int i = 0; i < list.size(); ++i) {
            if (list[i]->isSelected()) {
                index = i;
            }
        }
        switch (key->key()) {
        case Qt::Key_Delete:
        case Qt::Key_Backspace:
            deleteProfile();
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            m_editor->setFocus();
            return true;
        case Qt::Key_Up:
        case Qt::Key_Down: {
            const int next = index + (key->key() == Qt::Key_Up ? -1 : 1);
            if (next >= 0 && next < list.size()) {
                select(list[next]->profile());
            }
            return true;
        }
        default:
            break;
        }
    }
    return FRWPageViewController::eventFilter(watched, event);
}
