#include "dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace goma {
namespace {

constexpr int kFingerprintRole = Qt::UserRole + 1;

QDialogButtonBox *okCancel(QDialog *dialog)
{
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

QTreeWidget *keyList(QWidget *parent, const std::vector<KeyInfo> &keys)
{
    auto *list = new QTreeWidget(parent);
    list->setObjectName(QStringLiteral("gomaKeyList"));
    list->setRootIsDecorated(false);
    list->setHeaderLabels({QStringLiteral("名前"), QStringLiteral("電子メール"), QStringLiteral("鍵ID"),
                           QStringLiteral("有効性")});
    for (const KeyInfo &k : keys) {
        auto *item = new QTreeWidgetItem(list, {k.name.isEmpty() ? k.userId : k.name, k.email, k.keyId,
                                                validityText(k.validity)});
        item->setData(0, kFingerprintRole, k.fingerprint);
        item->setToolTip(0, k.userId);
        item->setToolTip(2, k.fingerprint);
    }
    list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    list->setAccessibleName(QStringLiteral("鍵の一覧"));
    return list;
}

QLabel *selectableLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

// ----- RecipientDialog -----

RecipientDialog::RecipientDialog(QWidget *owner, const std::vector<KeyInfo> &keys) : QDialog(owner)
{
    setObjectName(QStringLiteral("gomaRecipientDialog"));
    setWindowTitle(QStringLiteral("受信者の選択 - Goma"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("暗号化する相手の鍵を選んでください（複数選択できます）。"), this));
    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("gomaRecipientFilter"));
    m_filter->setPlaceholderText(QStringLiteral("名前、電子メール、鍵IDで絞り込み"));
    m_filter->setAccessibleName(QStringLiteral("絞り込み"));
    m_filter->setClearButtonEnabled(true);
    layout->addWidget(m_filter);
    m_list = keyList(this, keys);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    layout->addWidget(m_list);
    auto *buttons = okCancel(this);
    QPushButton *okButton = buttons->button(QDialogButtonBox::Ok);
    okButton->setEnabled(false);
    layout->addWidget(buttons);
    connect(m_filter, &QLineEdit::textChanged, this, [this](const QString &t) { applyFilter(t); });
    connect(m_list, &QTreeWidget::itemSelectionChanged, this,
            [this, okButton] { okButton->setEnabled(!selectedFingerprints().isEmpty()); });
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (!selectedFingerprints().isEmpty())
            accept();
    });
    resize(640, 360);
}

void RecipientDialog::applyFilter(const QString &text)
{
    const QString needle = text.trimmed();
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = m_list->topLevelItem(i);
        bool match = needle.isEmpty();
        for (int col = 0; !match && col < m_list->columnCount(); ++col)
            match = item->text(col).contains(needle, Qt::CaseInsensitive);
        match = match || item->data(0, kFingerprintRole).toString().contains(needle, Qt::CaseInsensitive);
        item->setHidden(!match);
        if (!match)
            item->setSelected(false);
    }
}

QStringList RecipientDialog::selectedFingerprints() const
{
    QStringList fprs;
    for (QTreeWidgetItem *item : m_list->selectedItems())
        if (!item->isHidden())
            fprs << item->data(0, kFingerprintRole).toString();
    return fprs;
}

// ----- SignerDialog -----

SignerDialog::SignerDialog(QWidget *owner, const std::vector<KeyInfo> &keys) : QDialog(owner)
{
    setObjectName(QStringLiteral("gomaSignerDialog"));
    setWindowTitle(QStringLiteral("署名する鍵の選択 - Goma"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("署名に使う鍵を選んでください。"), this));
    m_list = keyList(this, keys);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    if (m_list->topLevelItemCount() > 0)
        m_list->setCurrentItem(m_list->topLevelItem(0));
    layout->addWidget(m_list);
    layout->addWidget(okCancel(this));
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);
    resize(600, 260);
}

QString SignerDialog::selectedFingerprint() const
{
    const QList<QTreeWidgetItem *> items = m_list->selectedItems();
    return items.isEmpty() ? QString() : items.first()->data(0, kFingerprintRole).toString();
}

// ----- VerifyDialog -----

QString VerifyDialog::headline(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Good: return QStringLiteral("正しい署名です。");
    case Verdict::Bad: return QStringLiteral("不正な署名です。文書が改変されているか、署名が壊れています。");
    case Verdict::UnknownKey: return QStringLiteral("不明な鍵による署名です。署名者の公開鍵がありません。");
    case Verdict::NotTrusted: return QStringLiteral("署名は文書と一致しますが、署名者の鍵の有効性を確認できません。");
    case Verdict::Error: return QStringLiteral("署名を検証できませんでした。");
    case Verdict::None: break;
    }
    return QStringLiteral("署名はありません。");
}

VerifyDialog::VerifyDialog(QWidget *owner, const Verification &v) : QDialog(owner)
{
    setObjectName(QStringLiteral("gomaVerifyDialog"));
    setWindowTitle(QStringLiteral("署名の検証結果 - Goma"));
    setModal(true);
    auto *layout = new QVBoxLayout(this);
    auto *head = new QLabel(headline(v.verdict), this);
    head->setObjectName(QStringLiteral("gomaVerdict"));
    head->setWordWrap(true);
    QFont bold = head->font();
    bold.setBold(true);
    head->setFont(bold);
    if (v.verdict == Verdict::Bad)
        head->setStyleSheet(QStringLiteral("color: #b00000;"));
    else if (v.verdict == Verdict::Good)
        head->setStyleSheet(QStringLiteral("color: #006000;"));
    layout->addWidget(head);
    auto *form = new QFormLayout;
    const QString unknown = QStringLiteral("（不明）");
    form->addRow(QStringLiteral("署名者:"), selectableLabel(v.userId.isEmpty() ? unknown : v.userId, this));
    form->addRow(QStringLiteral("フィンガープリント:"),
                 selectableLabel(v.fingerprint.isEmpty() ? unknown : v.fingerprint, this));
    form->addRow(QStringLiteral("署名日時:"),
                 selectableLabel(v.signedAt.isValid() ? v.signedAt.toLocalTime().toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"))
                                                      : unknown,
                                 this));
    form->addRow(QStringLiteral("有効性:"), selectableLabel(v.validity.isEmpty() ? unknown : v.validity, this));
    layout->addLayout(form);
    if (!v.detail.isEmpty()) {
        auto *detail = new QLabel(v.detail, this);
        detail->setWordWrap(true);
        layout->addWidget(detail);
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

// ----- PreferencesDialog -----

PreferencesDialog::PreferencesDialog(QWidget *owner, const Preferences &prefs, const std::vector<KeyInfo> &secretKeys,
                                     const QString &homeInUse)
    : QDialog(owner)
{
    setObjectName(QStringLiteral("gomaPreferencesDialog"));
    setWindowTitle(QStringLiteral("PGPの設定 - Goma"));
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    m_defaultKey = new QComboBox(this);
    m_defaultKey->setObjectName(QStringLiteral("gomaDefaultKey"));
    m_defaultKey->addItem(QStringLiteral("（指定しない）"), QString());
    for (const KeyInfo &k : secretKeys)
        m_defaultKey->addItem(QStringLiteral("%1 [%2]").arg(k.userId, k.keyId), k.fingerprint);
    int current = m_defaultKey->findData(prefs.defaultKey);
    if (current < 0 && !prefs.defaultKey.isEmpty()) {
        // A key that is not (or no longer) usable stays visible so that it is not dropped silently.
        m_defaultKey->addItem(QStringLiteral("%1（使用できません）").arg(prefs.defaultKey), prefs.defaultKey);
        current = m_defaultKey->count() - 1;
    }
    m_defaultKey->setCurrentIndex(current < 0 ? 0 : current);
    form->addRow(QStringLiteral("既定の署名鍵(&K):"), m_defaultKey);
    m_encryptToSelf = new QCheckBox(QStringLiteral("自分の鍵でも暗号化する(&E)"), this);
    m_encryptToSelf->setObjectName(QStringLiteral("gomaEncryptToSelf"));
    m_encryptToSelf->setChecked(prefs.encryptToSelf);
    form->addRow(QString(), m_encryptToSelf);
    auto *homeRow = new QHBoxLayout;
    m_home = new QLineEdit(prefs.gnupgHome, this);
    m_home->setObjectName(QStringLiteral("gomaGnupgHome"));
    m_home->setPlaceholderText(QStringLiteral("既定（%1）").arg(homeInUse));
    m_home->setAccessibleName(QStringLiteral("GnuPGのホーム"));
    auto *browse = new QPushButton(QStringLiteral("参照(&B)..."), this);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString dir = QFileDialog::getExistingDirectory(this, QStringLiteral("GnuPGのホーム"), m_home->text());
        if (!dir.isEmpty())
            m_home->setText(dir);
    });
    homeRow->addWidget(m_home);
    homeRow->addWidget(browse);
    form->addRow(QStringLiteral("GnuPGのホーム(&H):"), homeRow);
    form->addRow(QStringLiteral("使用中のホーム:"), selectableLabel(homeInUse, this));
    layout->addLayout(form);
    layout->addWidget(okCancel(this));
}

Preferences PreferencesDialog::preferences() const
{
    Preferences p;
    p.defaultKey = m_defaultKey->currentData().toString();
    p.encryptToSelf = m_encryptToSelf->isChecked();
    p.gnupgHome = m_home->text().trimmed();
    return p;
}

// ----- AboutDialog -----

AboutDialog::AboutDialog(QWidget *owner, const EngineInfo &info) : QDialog(owner)
{
    setObjectName(QStringLiteral("gomaAboutDialog"));
    setWindowTitle(QStringLiteral("Gomaについて"));
    auto *layout = new QVBoxLayout(this);
    auto *title = new QLabel(QStringLiteral("Goma バージョン %1.%2").arg(kVersion / 100).arg(kVersion % 100, 2, 10, QLatin1Char('0')), this);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    layout->addWidget(title);
    layout->addWidget(new QLabel(QStringLiteral("GPGME と GnuPG による OpenPGP ライブラリ"), this));
    auto *form = new QFormLayout;
    const QString none = QStringLiteral("（見つかりません）");
    form->addRow(QStringLiteral("GPGME:"), selectableLabel(info.gpgmeVersion.isEmpty() ? none : info.gpgmeVersion, this));
    form->addRow(QStringLiteral("GnuPG:"), selectableLabel(info.gnupgVersion.isEmpty() ? none : info.gnupgVersion, this));
    form->addRow(QStringLiteral("GnuPGの場所:"), selectableLabel(info.enginePath.isEmpty() ? none : info.enginePath, this));
    form->addRow(QStringLiteral("GnuPGのホーム:"), selectableLabel(info.home.isEmpty() ? none : info.home, this));
    layout->addLayout(form);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

} // namespace goma
