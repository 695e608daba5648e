#include "FRWSidebarViewController.h"

#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>

#include "FRWAccessibility.h"
#include "FRWPageKeys.h"
#include "FRWSidebarPanel.h"
#include "FRWSidebarRow.h"
#include "FRWTheme.h"

namespace pages = ferrow::pages;

namespace {
constexpr int kStackSpacing = 2;
constexpr int kStackInset = 8;
constexpr int kTopStackTop = 44;
constexpr int kBottomStackBottom = 12;
constexpr int kHeaderIndent = 14;
constexpr int kHeaderSpaceAbove = 14;
constexpr int kHeaderSpaceBelow = 4;
} // namespace

FRWSidebarViewController::FRWSidebarViewController(QObject* parent) : FRWViewController(parent)
{
}

FRWSidebarRow* FRWSidebarViewController::rowForID(const QString& itemID) const
{
    for (FRWSidebarRow* row : m_rows) {
        if (row->itemID() == itemID) {
            return row;
        }
    }
    return nullptr;
}

void FRWSidebarViewController::selectItemID(const QString& itemID)
{
    m_selectedID = itemID;
    for (FRWSidebarRow* row : m_rows) {
        row->setSelected(row->itemID() == itemID);
    }
}

void FRWSidebarViewController::stepFrom(FRWSidebarRow* row, int step)
{
    const qsizetype at = m_rows.indexOf(row);
    const qsizetype next = at + step;
    if (at < 0 || next < 0 || next >= m_rows.size()) {
        return;
    }
    // Moving is choosing, as in a tab bar: the page follows the focus.
    FRWSidebarRow* target = m_rows.at(next);
    target->performAccessiblePress();
    target->setFocus(Qt::TabFocusReason);
}

QVBoxLayout* FRWSidebarViewController::makeStack()
{
    auto* stack = new QVBoxLayout;
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(kStackSpacing);
    return stack;
}

FRWSidebarRow* FRWSidebarViewController::addItemTo(QVBoxLayout* stack, const QString& itemID,
                                                   const QString& title, const QString& symbol)
{
    auto* row = new FRWSidebarRow(itemID);
    row->setTitle(title);
    row->setSymbol(symbol);
    QPointer<FRWSidebarViewController> weakSelf(this);
    row->onClick = [weakSelf](const QString& key) {
        if (!weakSelf) {
            return;
        }
        weakSelf->selectItemID(key);
        if (weakSelf->onSelect) {
            weakSelf->onSelect(key);
        }
    };
    connect(row, &FRWSidebarRow::stepRequested, this, [this, row](int step) { stepFrom(row, step); });
    stack->addWidget(row);
    m_rows.append(row);
    return row;
}

QLabel* FRWSidebarViewController::addHeaderTo(QVBoxLayout* stack, const QString& text)
{
    auto* header = new QLabel(text.toUpper());
    header->setObjectName(QStringLiteral("sidebarHeaderLabel"));
    header->setFont(FRWTheme::font(11, QFont::DemiBold));
    header->setIndent(kHeaderIndent);
    FRWTheme::bindTextColor(header, FRWTheme::sidebarHeader());
    // The stack's own spacing already separates neighbours by kStackSpacing.
    if (stack->count() > 0) {
        stack->addSpacing(kHeaderSpaceAbove - kStackSpacing);
    }
    stack->addWidget(header);
    stack->addSpacing(kHeaderSpaceBelow - kStackSpacing);
    return header;
}

void FRWSidebarViewController::loadView()
{
    auto* panel = new FRWSidebarPanel;
    panel->setObjectName(QStringLiteral("sidebarPanel"));
    FRWFocus::setRole(panel, QAccessible::PageTabList);
    panel->setAccessibleName(tr("Pages"));
    setView(panel);

    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(kStackInset, kTopStackTop, kStackInset, kBottomStackBottom);
    panelLayout->setSpacing(0);

    QVBoxLayout* top = makeStack();
    addItemTo(top, QString::fromLatin1(pages::kActivity), tr("Activity"),
              QStringLiteral("waveform.path.ecg"));
    addItemTo(top, QString::fromLatin1(pages::kOverview), tr("Overview"), QStringLiteral("square.grid.2x2"));
    addItemTo(top, QString::fromLatin1(pages::kConnections), tr("Connections"),
              QStringLiteral("point.3.connected.trianglepath.dotted"));
    addHeaderTo(top, tr("Clients"));
    addItemTo(top, QString::fromLatin1(pages::kProcess), tr("Process"), QStringLiteral("terminal"));
    addItemTo(top, QString::fromLatin1(pages::kDevice), tr("Device"), QStringLiteral("macstudio"));
    addHeaderTo(top, tr("Proxies"));
    addItemTo(top, QString::fromLatin1(pages::kProfile), tr("Profile"), QStringLiteral("doc.text"));
    addItemTo(top, QString::fromLatin1(pages::kPolicy), tr("Policy"),
              QStringLiteral("arrow.triangle.branch"));
    addItemTo(top, QString::fromLatin1(pages::kRule), tr("Rule"), QStringLiteral("list.bullet"));
    addHeaderTo(top, tr("System"));
    addItemTo(top, QString::fromLatin1(pages::kLogs), tr("Logs"), QStringLiteral("text.alignleft"));
    addItemTo(top, QString::fromLatin1(pages::kAbout), tr("About"), QStringLiteral("info.circle"));

    QVBoxLayout* bottom = makeStack();
    addItemTo(bottom, QString::fromLatin1(pages::kSettings), tr("Settings"), QStringLiteral("gearshape"));

    panelLayout->addLayout(top);
    panelLayout->addStretch(1);
    panelLayout->addLayout(bottom);

    selectItemID(QString::fromLatin1(pages::kActivity));
}
