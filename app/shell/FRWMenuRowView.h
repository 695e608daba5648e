#pragma once

#include <QColor>
#include <QFont>
#include <QMetaType>
#include <QString>

class QPainter;
class QRectF;

/// One row of the status menu as Ferrow draws it: check mark, title, then on the right a badge
/// (or a detail text) and a chevron for rows that open a submenu. Always 22 high.
class FRWMenuRowView {
public:
    static constexpr int kHeight = 22;
    static constexpr int kInitialWidth = 200;

    FRWMenuRowView() = default;
    static FRWMenuRowView rowWithTitle(const QString& title, const QString& detail, const QString& badgeText,
                                       const QColor& badgeColor, bool hasSubmenu, bool dimmed,
                                       bool checked = false);

    const QString& title() const { return m_title; }
    const QString& detail() const { return m_detail; }
    const QString& badgeText() const { return m_badgeText; }
    const QColor& badgeColor() const { return m_badgeColor; }
    bool hasSubmenu() const { return m_hasSubmenu; }
    bool dimmed() const { return m_dimmed; }
    bool checked() const { return m_checked; }
    double rowWidth() const { return m_rowWidth; }
    void setRowWidth(double width) { m_rowWidth = width; }

    /// What the row needs to show everything without clipping.
    int preferredWidth() const;
    int badgeWidth() const;
    static int widthOf(const QString& text);
    /// The standard menu font.
    static QFont font();

    /// Draws the row into `bounds`; `highlighted` when it is the menu's active, enabled item.
    void paint(QPainter& painter, const QRectF& bounds, bool highlighted) const;

private:
    QString m_title;
    QString m_detail;
    QString m_badgeText;
    QColor m_badgeColor;
    bool m_hasSubmenu = false;
    bool m_dimmed = false;
    bool m_checked = false;
    double m_rowWidth = kInitialWidth;
};

Q_DECLARE_METATYPE(FRWMenuRowView)
