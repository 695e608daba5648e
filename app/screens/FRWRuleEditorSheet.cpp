#include "FRWRuleEditorSheet.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "FRWEditorKit.h"
#include "FRWProfileValidation.h"
#include "FRWRuleText.h"

namespace {
const QString kFinal = QStringLiteral("FINAL");
const QString kDefaultType = QStringLiteral("DOMAIN-SUFFIX");

// The caption is the field's buddy, so a screen reader names the field by it.
QLabel* caption(const QString& text, QWidget* field)
{
    QLabel* label = FRWEditorKit::label(text, 11.5, QFont::Medium, FRWTheme::secondaryLabel());
    label->setBuddy(field);
    return label;
}
} // namespace

FRWRuleEditorSheet::FRWRuleEditorSheet(QWidget* window, const QVariantMap& rule, const QStringList& policies)
    : QDialog(window), m_type(new QComboBox)
{
    const bool editing = !rule.isEmpty();
    setObjectName(QStringLiteral("ruleEditorSheet"));
    setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(editing ? tr("Edit Rule") : tr("Add Rule"));
    setFixedSize(460, 280);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 16);
    layout->setSpacing(6);
    layout->addWidget(FRWEditorKit::label(windowTitle(), 15, QFont::Normal, FRWTheme::primaryText()));
    auto* intro = FRWEditorKit::label(tr("Rules are matched top to bottom, and the first one that "
                                         "matches decides where the connection goes."),
                                      11.5, QFont::Normal, FRWTheme::secondaryLabel());
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(4);
    m_type->setObjectName(QStringLiteral("typeComboBox"));
    m_type->setFixedWidth(190);
    const QList<QStringList>& groups = FRWRuleText::ruleTypeGroups();
    for (qsizetype i = 0; i < groups.size(); ++i) {
        if (i > 0) {
            m_type->insertSeparator(m_type->count());
        }
        m_type->addItems(groups[i]);
    }
    m_policy = new QComboBox;
    m_policy->setObjectName(QStringLiteral("policyComboBox"));
    m_policy->addItems(policies);
    grid->addWidget(caption(tr("Type"), m_type), 0, 0);
    grid->addWidget(caption(tr("Policy"), m_policy), 0, 1);
    grid->addWidget(m_type, 1, 0);
    grid->addWidget(m_policy, 1, 1);
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);
    layout->addSpacing(6);
    m_value = new QLineEdit;
    m_value->setObjectName(QStringLiteral("valueLineEdit"));
    m_valueCaption = caption(tr("Value"), m_value);
    layout->addWidget(m_valueCaption);
    layout->addWidget(m_value);
    m_hint = FRWEditorKit::label(QString(), 11, QFont::Normal, FRWTheme::secondaryLabel());
    m_hint->setObjectName(QStringLiteral("hintLabel"));
    m_hint->setWordWrap(true);
    layout->addWidget(m_hint);
    m_problem = FRWEditorKit::label(QString(), 11, QFont::Normal, FRWTheme::secondaryLabel());
    m_problem->setObjectName(QStringLiteral("problemNoteLabel"));
    m_problem->setWordWrap(true);
    layout->addWidget(m_problem);
    layout->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* cancel = new QPushButton(tr("Cancel"));
    cancel->setObjectName(QStringLiteral("cancelButton"));
    cancel->setAutoDefault(false);
    m_confirm = new QPushButton(editing ? tr("Save") : tr("Add"));
    m_confirm->setObjectName(QStringLiteral("confirmButton"));
    m_confirm->setDefault(true);
    buttons->addWidget(cancel);
    buttons->addWidget(m_confirm);
    layout->addLayout(buttons);

    if (editing) {
        const QString type = rule.value("type").toString();
        // A type the pop-up does not list falls back to the default; the rule is stored as shown.
        const int typeIndex = m_type->findText(type.isEmpty() ? kDefaultType : type);
        m_type->setCurrentIndex(typeIndex >= 0 ? typeIndex : m_type->findText(kDefaultType));
        const QString policy = rule.value("policy").toString();
        const int policyIndex = m_policy->findText(policy.isEmpty() ? QStringLiteral("DIRECT") : policy);
        m_policy->setCurrentIndex(policyIndex >= 0 ? policyIndex
                                                   : m_policy->findText(QStringLiteral("DIRECT")));
        m_value->setText(rule.value("value").toString());
    } else {
        m_type->setCurrentIndex(m_type->findText(kDefaultType));
    }
    connect(m_type, &QComboBox::currentIndexChanged, this, &FRWRuleEditorSheet::typeChanged);
    connect(m_value, &QLineEdit::textChanged, this, &FRWRuleEditorSheet::validate);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_confirm, &QPushButton::clicked, this, &FRWRuleEditorSheet::commit);
    typeChanged();
    m_value->setFocus();
}

void FRWRuleEditorSheet::typeChanged()
{
    const QString type = m_type->currentText();
    const bool final = type == kFinal;
    if (final) {
        m_value->clear();
    }
    m_value->setEnabled(!final);
    FRWTheme::bindTextColor(m_valueCaption, final ? FRWTheme::tertiaryLabel() : FRWTheme::secondaryLabel());
    m_value->setPlaceholderText(FRWRuleText::placeholderForRuleType(type));
    m_hint->setText(FRWRuleText::hintForRuleType(type));
    validate();
}

void FRWRuleEditorSheet::validate()
{
    const QString type = m_type->currentText();
    const QString value = m_value->text().trimmed();
    const QString problem =
        type == kFinal || value.isEmpty() ? QString() : FRWProfileValidation::ruleValueProblem(type, value);
    m_problem->setText(problem);
    m_confirm->setEnabled(type == kFinal || (!value.isEmpty() && problem.isEmpty() &&
                                             FRWRuleText::isWellFormedValue(value, type)));
}

void FRWRuleEditorSheet::commit()
{
    const QString type = m_type->currentText().isEmpty() ? kDefaultType : m_type->currentText();
    const QString value = m_value->text().trimmed();
    if (type != kFinal && (value.isEmpty() || !FRWRuleText::isWellFormedValue(value, type) ||
                           !FRWProfileValidation::ruleValueProblem(type, value).isEmpty())) {
        return;
    }
    const QString policy =
        m_policy->currentText().isEmpty() ? QStringLiteral("DIRECT") : m_policy->currentText();
    const QVariantMap rule{{QStringLiteral("type"), type},
                           {QStringLiteral("value"), type == kFinal ? QString() : value},
                           {QStringLiteral("policy"), policy}};
    auto* alert = new QMessageBox(QMessageBox::Information, tr("This rule will match"),
                                  tr("This rule will match"), QMessageBox::NoButton, this);
    alert->setObjectName(QStringLiteral("confirmMessageBox"));
    alert->setInformativeText(FRWRuleText::explanationForType(type, rule.value("value").toString(), policy));
    QPushButton* accept = alert->addButton(m_confirm->text(), QMessageBox::AcceptRole);
    alert->addButton(tr("Back"), QMessageBox::RejectRole);
    alert->setWindowModality(Qt::WindowModal);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    connect(alert, &QMessageBox::buttonClicked, this, [this, accept, rule](QAbstractButton* clicked) {
        if (clicked == accept) {
            QDialog::accept();
            emit confirmed(rule);
        }
    });
    m_alert = alert;
    alert->open();
}
