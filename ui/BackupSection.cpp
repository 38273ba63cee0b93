#include "BackupSection.h"

#include "AppModel.h"
#include "FormWidgets.h"

#include <QLabel>

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

BackupSection::BackupSection(AppModel *model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_passphraseField(FormWidgets::field(this, QStringLiteral("tvn-backup-passphrase"),
                                           QStringLiteral("Backup passphrase (12+ characters)"), true))
    , m_payloadArea(FormWidgets::textArea(this, QStringLiteral("tvn-backup-payload"),
                                          QStringLiteral("Encrypted backup: exported here, or paste one to restore")))
    , m_exportButton(FormWidgets::button(this, QStringLiteral("tvn-backup-export"), QStringLiteral("Export backup")))
    , m_restoreButton(FormWidgets::button(this, QStringLiteral("tvn-backup-restore"), QStringLiteral("Restore backup")))
{
    m_payloadArea->setMinimumHeight(120);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_exportButton);
    buttons->addWidget(m_restoreButton);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(FormWidgets::heading(this, QStringLiteral("tvn-backup-heading"), QStringLiteral("Backup")));
    layout->addWidget(m_passphraseField);
    layout->addLayout(buttons);
    layout->addWidget(m_payloadArea);

    Backups *backups = model->backups();
    connect(m_passphraseField, &QLineEdit::textEdited, backups, &Backups::setBackupPassphrase);
    connect(m_payloadArea, &QPlainTextEdit::textChanged, backups,
            [this, backups] { backups->setBackupPayload(m_payloadArea->toPlainText()); });
    connect(m_exportButton, &QPushButton::clicked, model, [model] { model->exportBackup(); });
    connect(m_restoreButton, &QPushButton::clicked, model, [model] { model->restoreBackup(); });
    connect(model, &AppModel::changed, this, &BackupSection::render);
    render();
}

void BackupSection::render()
{
    const Backups *backups = m_model->backups();
    FormWidgets::show(m_passphraseField, backups->backupPassphrase());
    if (m_payloadArea->toPlainText() != backups->backupPayload())
        m_payloadArea->setPlainText(backups->backupPayload());
    const RunningActions &actions = m_model->context()->actions();
    const bool busy = actions.contains(Backups::exportActionKey) || actions.contains(Backups::restoreActionKey);
    m_exportButton->setEnabled(!busy);
    m_restoreButton->setEnabled(!busy && !backups->backupPayload().trimmed().isEmpty());
}
