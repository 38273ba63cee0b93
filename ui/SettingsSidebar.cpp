#include "SettingsSidebar.h"

#include "FormWidgets.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {
constexpr int sidebarWidth = 176;
}

SettingsSidebar::SettingsSidebar(const QString &appName, QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("tvn-settings-sidebar"));
    setAccessibleName(QStringLiteral("Settings sections"));
    setFixedWidth(sidebarWidth);
    setAttribute(Qt::WA_StyledBackground);
    FormWidgets::setRole(this, "sidebar");

    QLabel *brand = FormWidgets::text(this, QStringLiteral("tvn-settings-brand"), appName);
    FormWidgets::setRole(brand, "title");
    QLabel *subtitle = FormWidgets::text(this, QStringLiteral("tvn-settings-subtitle"), QStringLiteral("Settings"));
    FormWidgets::setRole(subtitle, "note");

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 16, 12, 12);
    layout->setSpacing(4);
    layout->addWidget(brand);
    layout->addWidget(subtitle);
    layout->addSpacing(12);
    for (const SettingsPane pane : SettingsPanes::all())
        layout->addWidget(entry(pane));
    layout->addStretch();
}

QPushButton *SettingsSidebar::entry(SettingsPane pane)
{
    // "&" would mark a mnemonic in a button title.
    const QString title = SettingsPanes::title(pane).replace(QLatin1Char('&'), QStringLiteral("&&"));
    QPushButton *button = FormWidgets::button(this, QStringLiteral("tvn-settings-nav-") + SettingsPanes::sectionName(pane), title);
    button->setAccessibleName(SettingsPanes::accessibleName(pane));
    button->setCheckable(true);
    FormWidgets::setRole(button, "nav");
    button->installEventFilter(this);
    connect(button, &QPushButton::clicked, this, [this, pane] { emit selected(pane); });
    m_entries.insert(pane, button);
    return button;
}

void SettingsSidebar::setSelection(SettingsPane pane)
{
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it)
        it.value()->setChecked(it.key() == pane);
}

bool SettingsSidebar::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent *>(event)->key();
    if (key != Qt::Key_Up && key != Qt::Key_Down)
        return QWidget::eventFilter(watched, event);
    const QList<SettingsPane> panes = SettingsPanes::all();
    const auto current = std::find_if(panes.cbegin(), panes.cend(),
                                      [&](SettingsPane pane) { return m_entries.value(pane) == watched; });
    if (current == panes.cend())
        return QWidget::eventFilter(watched, event);
    const qsizetype index = (current - panes.cbegin()) + (key == Qt::Key_Down ? 1 : -1);
    if (index >= 0 && index < panes.size()) {
        QPushButton *next = m_entries.value(panes.at(index));
        next->setFocus(Qt::TabFocusReason);
        next->click();
    }
    return true;
}
