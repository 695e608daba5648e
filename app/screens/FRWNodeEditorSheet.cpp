#include "FRWNodeEditorSheet.h"

#include <utility>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "FRWEditorKit.h"
#include "FRWProfileStore.h"
#include "FRWProfileValidation.h"
#include "FRWScreenText.h"

namespace {
const QStringList kTfoModes{QStringLiteral("off"), QStringLiteral("auto"), QStringLiteral("on")};
constexpr int kMaxPort = 65535;

// The caption is the field's buddy, so a screen reader names the field by it.
QLabel* caption(const QString& text, QWidget* field)
{
    QLabel* label = FRWEditorKit::label(text, 11.5, QFont::Medium, FRWTheme::secondaryLabel());
    label->setBuddy(field);
    return label;
}

QLineEdit* field(const QString& objectName, const QString& placeholder, const QString& text)
{
    auto* edit = new QLineEdit(text);
    edit->setObjectName(objectName);
    edit->setPlaceholderText(placeholder);
    edit->setFixedHeight(24);
    return edit;
}
} // namespace

FRWNodeEditorSheet::FRWNodeEditorSheet(QWidget* window, const QString& oldName, const QVariantMap& details,
                                       QStringList takenNodes, QStringList takenGroups)
    : QDialog(window)
    , m_oldName(oldName)
    , m_takenNodes(std::move(takenNodes))
    , m_takenGroups(std::move(takenGroups))
    , m_tfo(new QComboBox)
{
    m_takenNodes.removeAll(oldName);
    const bool editing = !oldName.isEmpty();
    setObjectName(QStringLiteral("nodeEditorSheet"));
    setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(editing ? tr("Edit Node") : tr("Add Node"));
    setFixedWidth(480);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(22, 22, 22, 20);
    layout->setSpacing(8);
    layout->addWidget(FRWEditorKit::label(windowTitle(), 15, QFont::DemiBold, FRWTheme::primaryText()));
    auto* intro = FRWEditorKit::label(
        tr("A Ferrow server you can route traffic through. Groups on this screen reference nodes by name."),
        11.5, QFont::Normal, FRWTheme::secondaryLabel());
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto* pasteRow = new QHBoxLayout;
    auto* paste = new QPushButton(tr("Paste ferrow:// Link"));
    paste->setObjectName(QStringLiteral("pasteButton"));
    paste->setToolTip(tr("Fill these in from a ferrow:// link on the clipboard"));
    paste->setAutoDefault(false);
    // The note beside it wraps rather than squeezing the button's caption.
    paste->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    pasteRow->addWidget(paste);
    m_pasteNote = FRWEditorKit::label(QString(), 11.5, QFont::Normal, FRWTheme::secondaryLabel());
    m_pasteNote->setObjectName(QStringLiteral("pasteNoteLabel"));
    m_pasteNote->setWordWrap(true);
    pasteRow->addWidget(m_pasteNote, 1);
    layout->addLayout(pasteRow);

    auto* form = new QGridLayout;
    form->setHorizontalSpacing(12);
    form->setVerticalSpacing(5);
    m_name = field(QStringLiteral("nameLineEdit"), QStringLiteral("HK"),
                   details.value("name", oldName).toString());
    m_server = field(QStringLiteral("serverLineEdit"), tr("host or IP"), details.value("server").toString());
    m_port = field(QStringLiteral("portLineEdit"), QStringLiteral("443"),
                   editing ? details.value("port").toString() : QStringLiteral("443"));
    m_port->setFixedWidth(110);
    m_tfo->setObjectName(QStringLiteral("tfoComboBox"));
    m_tfo->addItems(kTfoModes);
    m_tfo->setFixedWidth(130);
    m_tfo->setCurrentIndex(std::max<qsizetype>(0, kTfoModes.indexOf(details.value("tfo").toString())));
    m_key = field(QStringLiteral("keyLineEdit"), tr("shared key from the server installer"),
                  details.value("psk").toString());
    m_key->setEchoMode(QLineEdit::Password);
    m_reveal = FRWEditorKit::symbolButton(QStringLiteral("eye"), QSize(20, 20), tr("Show the key"));
    m_reveal->setObjectName(QStringLiteral("revealToolButton"));
    form->addWidget(caption(tr("Name"), m_name), 0, 0, 1, 3);
    form->addWidget(m_name, 1, 0, 1, 3);
    form->addWidget(caption(tr("Server"), m_server), 2, 0, 1, 3);
    form->addWidget(m_server, 3, 0, 1, 3);
    form->addWidget(caption(tr("Port"), m_port), 4, 0);
    form->addWidget(caption(tr("TCP Fast Open"), m_tfo), 4, 1);
    form->addWidget(m_port, 5, 0);
    form->addWidget(m_tfo, 5, 1, Qt::AlignLeft);
    form->addWidget(caption(tr("Key"), m_key), 6, 0, 1, 3);
    auto* keyRow = new QHBoxLayout;
    keyRow->addWidget(m_key, 1);
    keyRow->addWidget(m_reveal);
    form->addLayout(keyRow, 7, 0, 1, 3);
    form->setColumnStretch(2, 1);
    layout->addLayout(form);
    layout->addSpacing(16);
    const QString through = details.value("extra").toMap().value("underlying-proxy").toString();
    m_reachedNote = FRWEditorKit::label(through.isEmpty() ? QString() : tr("Reached through: ") + through,
                                        11.5, QFont::Normal, FRWTheme::secondaryLabel());
    m_reachedNote->setObjectName(QStringLiteral("reachedNoteLabel"));
    m_reachedNote->setWordWrap(true);
    layout->addWidget(m_reachedNote);
    m_problemNote = FRWEditorKit::label(QString(), 11.5, QFont::Normal, FRWTheme::secondaryLabel());
    m_problemNote->setObjectName(QStringLiteral("problemNoteLabel"));
    m_problemNote->setWordWrap(true);
    layout->addWidget(m_problemNote);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* cancel = new QPushButton(tr("Cancel"));
    cancel->setObjectName(QStringLiteral("cancelButton"));
    cancel->setMinimumWidth(90);
    cancel->setAutoDefault(false);
    m_commit = new QPushButton(editing ? tr("Save") : tr("Add"));
    m_commit->setObjectName(QStringLiteral("commitButton"));
    m_commit->setMinimumWidth(90);
    m_commit->setDefault(true);
    buttons->addWidget(cancel);
    buttons->addSpacing(10);
    buttons->addWidget(m_commit);
    layout->addLayout(buttons);

    for (QLineEdit* edit : {m_name, m_server, m_port}) {
        connect(edit, &QLineEdit::textEdited, this, &FRWNodeEditorSheet::fieldEdited);
    }
    connect(m_key, &QLineEdit::textEdited, this, &FRWNodeEditorSheet::validate);
    connect(paste, &QPushButton::clicked, this, &FRWNodeEditorSheet::pasteShareLink);
    connect(m_reveal, &QToolButton::clicked, this, &FRWNodeEditorSheet::togglePSKReveal);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_commit, &QPushButton::clicked, this, &FRWNodeEditorSheet::commit);
    validate();
    m_name->setFocus();
}

int FRWNodeEditorSheet::portValue() const
{
    const QString text = m_port->text().trimmed();
    qsizetype digits = 0;
    while (digits < text.size() && digits < 6 && text[digits].isDigit()) {
        ++digits;
    }
    // Six digits are already out of range; stopping there keeps the number from overflowing.
    return digits == 0 ? 0 : text.left(digits).toInt();
}

void FRWNodeEditorSheet::validate()
{
    const int port = portValue();
    const QString name = m_name->text().trimmed();
    const QString server = m_server->text().trimmed();
    // Empty fields only keep the button disabled; a note is for a value that cannot be kept.
    QString problem;
    if (!name.isEmpty()) {
        problem = FRWProfileValidation::nodeNameProblem(name, m_takenNodes, m_takenGroups);
    }
    if (problem.isEmpty() && !server.isEmpty()) {
        problem = FRWProfileValidation::serverProblem(server);
    }
    if (problem.isEmpty()) {
        problem = FRWProfileValidation::keyProblem(m_key->text());
    }
    const QString warning =
        m_key->text().isEmpty() ? QString() : FRWProfileValidation::keyWarning(m_key->text());
    m_problemNote->setText(problem.isEmpty() ? warning : problem);
    m_commit->setEnabled(problem.isEmpty() && !name.isEmpty() && !server.isEmpty() && port >= 1 &&
                         port <= kMaxPort);
}

void FRWNodeEditorSheet::fieldEdited(const QString& text)
{
    if (text.contains(QLatin1String("ferrow://"), Qt::CaseInsensitive) && applyShareURI(text)) {
        return;
    }
    validate();
}

bool FRWNodeEditorSheet::applyShareURI(const QString& text)
{
    const std::optional<QVariantMap> link = FRWProfileStore::parseShareURI(text);
    if (!link) {
        return false;
    }
    const QString typed = m_name->text().trimmed();
    const bool keepName =
        !typed.isEmpty() && !typed.contains(QLatin1String("ferrow://"), Qt::CaseInsensitive);
    m_name->setText(keepName ? typed : link->value("name").toString());
    m_server->setText(link->value("server").toString());
    m_port->setText(link->value("port").toString());
    m_key->setText(link->value("psk").toString());
    const QString server = link->value("server").toString();
    const QString port = link->value("port").toString();
    if (link->contains("tfo")) {
        const QString tfo = link->value("tfo").toString();
        m_tfo->setCurrentIndex(std::max<qsizetype>(0, kTfoModes.indexOf(tfo)));
        m_pasteNote->setText(tr("Read %1:%2 \u00b7 TFO %3").arg(server, port, tfo));
    } else {
        m_pasteNote->setText(tr("Read %1:%2").arg(server, port));
    }
    FRWTheme::bindTextColor(m_pasteNote, FRWTheme::greenText());
    validate();
    return true;
}

void FRWNodeEditorSheet::pasteShareLink()
{
    const QClipboard* clipboard = QApplication::clipboard();
    const QString text = clipboard ? clipboard->text() : QString();
    if (!applyShareURI(text)) {
        m_pasteNote->setText(FRWScreenText::noLinkText(text));
        FRWTheme::bindTextColor(m_pasteNote, FRWTheme::secondaryLabel());
    }
}

void FRWNodeEditorSheet::togglePSKReveal()
{
    const bool nowPlain = m_key->echoMode() == QLineEdit::Password;
    m_key->setEchoMode(nowPlain ? QLineEdit::Normal : QLineEdit::Password);
    const QString tip = nowPlain ? tr("Hide the key") : tr("Show the key");
    FRWEditorKit::setSymbol(m_reveal, nowPlain ? QStringLiteral("eye.slash") : QStringLiteral("eye"));
    m_reveal->setToolTip(tip);
    m_reveal->setAccessibleName(tip);
    m_key->setFocus();
}

void FRWNodeEditorSheet::commit()
{
    validate();
    if (!m_commit->isEnabled()) {
        return;
    }
    FRWNodeEdit edit;
    edit.oldName = m_oldName;
    edit.name = m_name->text().trimmed();
    edit.server = m_server->text().trimmed();
    edit.port = std::max(1, portValue());
    edit.psk = m_key->text();
    edit.tfo = m_tfo->currentText();
    accept();
    emit committed(edit);
}
