#include "FRWLogFindBar.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QShortcut>
#include <QToolButton>

#include "FRWTheme.h"

FRWLogFindBar::FRWLogFindBar(QWidget* parent)
    : QWidget(parent), m_find(new QLineEdit(this)), m_level(new QComboBox(this)), m_status(new QLabel(this))
{
    setObjectName(QStringLiteral("logFindBar"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 8);
    layout->setSpacing(8);
    m_find->setObjectName(QStringLiteral("findLineEdit"));
    m_find->setPlaceholderText(tr("Find in log"));
    m_find->setClearButtonEnabled(true);
    m_find->setFont(FRWTheme::font(12));
    layout->addWidget(m_find, 1);
    m_status->setObjectName(QStringLiteral("findStatusLabel"));
    m_status->setFont(FRWTheme::font(11.5));
    FRWTheme::bindTextColor(m_status, FRWTheme::secondaryLabel());
    layout->addWidget(m_status);
    m_level->setObjectName(QStringLiteral("levelComboBox"));
    m_level->addItems({tr("All"), tr("Info"), tr("Warning"), tr("Error")});
    m_level->setFont(FRWTheme::font(12));
    layout->addWidget(m_level);
    auto* close = new QToolButton(this);
    close->setObjectName(QStringLiteral("closeFindButton"));
    close->setText(QStringLiteral("\u2715"));
    close->setAutoRaise(true);
    close->setAccessibleName(tr("Close"));
    layout->addWidget(close);

    connect(m_find, &QLineEdit::textChanged, this, &FRWLogFindBar::queryChanged);
    connect(m_find, &QLineEdit::returnPressed, this, [this] {
        if (QGuiApplication::keyboardModifiers() & Qt::ShiftModifier) {
            emit findPrevious();
        } else {
            emit findNext();
        }
    });
    connect(m_level, &QComboBox::currentIndexChanged, this, &FRWLogFindBar::levelChanged);
    connect(close, &QToolButton::clicked, this, &FRWLogFindBar::closeRequested);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this, this, &FRWLogFindBar::closeRequested);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
}

QString FRWLogFindBar::query() const
{
    return m_find->text();
}

FRWLogFindBar::Level FRWLogFindBar::level() const
{
    return static_cast<Level>(std::max(0, m_level->currentIndex()));
}

void FRWLogFindBar::setLevel(Level level)
{
    m_level->setCurrentIndex(static_cast<int>(level));
}

void FRWLogFindBar::setNotFound(bool notFound)
{
    m_status->setText(notFound ? tr("Not found") : QString());
}

FRWLogFindBar::Level FRWLogFindBar::levelOfLine(const QString& line)
{
    // The core writes "<date> <time> [<level>] <text>".
    static const QRegularExpression tag(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2} \\[(info|warning|error)\\] "));
    const QRegularExpressionMatch match = tag.match(line);
    if (!match.hasMatch()) {
        return Level::All;
    }
    const QStringView name = match.capturedView(1);
    if (name == QLatin1String("error")) {
        return Level::Error;
    }
    return name == QLatin1String("warning") ? Level::Warning : Level::Info;
}

bool FRWLogFindBar::shows(Level filter, const QString& line)
{
    if (filter == Level::All) {
        return true;
    }
    const Level level = levelOfLine(line);
    return level != Level::All && static_cast<int>(level) >= static_cast<int>(filter);
}
