#pragma once

#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QVariantMap>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

/// The sheet that adds or edits one rule: type, policy and value, checked as typed, with a plain
/// description of what the rule will match to confirm before it is handed back.
class FRWRuleEditorSheet : public QDialog {
    Q_OBJECT
public:
    /// `rule` is empty for a new rule.
    FRWRuleEditorSheet(QWidget* window, const QVariantMap& rule, const QStringList& policies);

    void typeChanged();
    void validate();
    /// Shows the confirmation; its first button closes the sheet and emits confirmed().
    void commit();

    /// Why the value cannot be kept; empty while it can.
    QLabel* problemNote() const { return m_problem; }
    QMessageBox* confirmation() const { return m_alert; }

signals:
    void confirmed(const QVariantMap& rule);

private:
    QComboBox* m_type = nullptr;
    QComboBox* m_policy = nullptr;
    QLineEdit* m_value = nullptr;
    QLabel* m_valueCaption = nullptr;
    QLabel* m_hint = nullptr;
    QLabel* m_problem = nullptr;
    QPushButton* m_confirm = nullptr;
    QPointer<QMessageBox> m_alert;
};
