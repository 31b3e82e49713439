#include "dialogs.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QFrame>
#include <QKeyEvent>
#include <QPainter>
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

QTreeWidget *keyList(QWidget *parent, const std::vector<KeyInfo> &keys, const QStringList &own = {})
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
        if (own.contains(k.fingerprint, Qt::CaseInsensitive)) {
            item->setText(0, item->text(0) + QStringLiteral("（自分の鍵）"));
            QFont bold = item->font(0);
            bold.setBold(true);
            item->setFont(0, bold);
        }
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

RecipientDialog::RecipientDialog(QWidget *owner, const std::vector<KeyInfo> &keys, const QStringList &own)
    : QDialog(owner)
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
    m_list = keyList(this, keys, own);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    layout->addWidget(m_list);
    auto *buttons = okCancel(this);
    QPushButton *okButton = buttons->button(QDialogButtonBox::Ok);
    okButton->setEnabled(false);
    okButton->setDefault(true);
    // Up and Down in the filter box move through the list; Enter there takes the key under the cursor.
    m_filter->installEventFilter(this);
    connect(m_filter, &QLineEdit::returnPressed, this, [this] {
        if (selectedFingerprints().isEmpty())
            if (QTreeWidgetItem *item = m_list->currentItem(); item && !item->isHidden())
                item->setSelected(true);
        if (!selectedFingerprints().isEmpty())
            accept();
    });
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

void RecipientDialog::preselect(const QStringList &fingerprints)
{
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = m_list->topLevelItem(i);
        if (!fingerprints.contains(item->data(0, kFingerprintRole).toString(), Qt::CaseInsensitive))
            continue;
        if (m_list->selectedItems().isEmpty())
            m_list->setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
        item->setSelected(true);
    }
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

bool RecipientDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_filter && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Down || key == Qt::Key_Up || key == Qt::Key_PageDown || key == Qt::Key_PageUp) {
            // The first visible row when nothing is current yet, else the list's own move.
            QTreeWidgetItem *current = m_list->currentItem();
            if (!current || current->isHidden()) {
                for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
                    QTreeWidgetItem *item = m_list->topLevelItem(i);
                    if (!item->isHidden()) {
                        m_list->setCurrentItem(item);
                        break;
                    }
                }
            } else {
                QCoreApplication::sendEvent(m_list, event);
            }
            m_list->setFocus();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
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
    case Verdict::NotTrusted: return QStringLiteral("署名は文書と一致しますが、署名者の鍵は有効と認められていません。");
    case Verdict::Expired: return QStringLiteral("署名は文書と一致しますが、署名者の鍵または署名の有効期限が切れています。");
    case Verdict::Revoked: return QStringLiteral("署名は文書と一致しますが、署名者の鍵は失効しています。この署名は信頼できません。");
    case Verdict::Error: return QStringLiteral("署名を検証できませんでした。");
    case Verdict::None: break;
    }
    return QStringLiteral("署名はありません。");
}

QPixmap VerifyDialog::verdictIcon(Verdict verdict, int size)
{
    QColor colour;
    QString mark;
    switch (verdict) {
    case Verdict::Good: colour = QColor(0x1e, 0x8e, 0x3e); mark = QStringLiteral("✓"); break;
    case Verdict::Bad: colour = QColor(0xc0, 0x10, 0x10); mark = QStringLiteral("×"); break;
    case Verdict::UnknownKey: colour = QColor(0x60, 0x60, 0x60); mark = QStringLiteral("?"); break;
    case Verdict::NotTrusted: colour = QColor(0xd0, 0x80, 0x00); mark = QStringLiteral("!"); break;
    case Verdict::Expired: colour = QColor(0x80, 0x50, 0xa0); mark = QStringLiteral("期"); break;
    case Verdict::Revoked: colour = QColor(0x70, 0x00, 0x00); mark = QStringLiteral("失"); break;
    case Verdict::Error: colour = QColor(0x30, 0x30, 0x90); mark = QStringLiteral("…"); break;
    case Verdict::None: colour = QColor(0xa0, 0xa0, 0xa0); mark = QStringLiteral("－"); break;
    }
    QPixmap pix(size, size);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(QRectF(1, 1, size - 2, size - 2));
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(size * 6 / 10);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 0, size, size), Qt::AlignCenter, mark);
    return pix;
}

namespace {

// One signature: icon and headline, then signer, fingerprint, time, validity and remarks.
QWidget *signaturePanel(QWidget *parent, const Verification &v, bool named)
{
    auto *panel = new QFrame(parent);
    panel->setObjectName(QStringLiteral("gomaSignature"));
    panel->setFrameShape(named ? QFrame::StyledPanel : QFrame::NoFrame);
    auto *layout = new QVBoxLayout(panel);
    if (named) {
        auto *row = new QHBoxLayout;
        auto *icon = new QLabel(panel);
        icon->setPixmap(VerifyDialog::verdictIcon(v.verdict, 20));
        row->addWidget(icon);
        auto *head = new QLabel(VerifyDialog::headline(v.verdict), panel);
        head->setObjectName(QStringLiteral("gomaSignatureVerdict"));
        head->setWordWrap(true);
        row->addWidget(head, 1);
        layout->addLayout(row);
    }
    auto *form = new QFormLayout;
    const QString unknown = QStringLiteral("（不明）");
    form->addRow(QStringLiteral("署名者:"), selectableLabel(v.userId.isEmpty() ? unknown : v.userId, panel));
    form->addRow(QStringLiteral("フィンガープリント:"),
                 selectableLabel(v.fingerprint.isEmpty() ? unknown : v.fingerprint, panel));
    form->addRow(QStringLiteral("署名日時:"),
                 selectableLabel(v.signedAt.isValid() ? v.signedAt.toLocalTime().toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"))
                                                      : unknown,
                                 panel));
    form->addRow(QStringLiteral("有効性:"), selectableLabel(v.validity.isEmpty() ? unknown : v.validity, panel));
    layout->addLayout(form);
    if (!v.detail.isEmpty()) {
        auto *detail = new QLabel(v.detail, panel);
        detail->setWordWrap(true);
        layout->addWidget(detail);
    }
    return panel;
}

} // namespace

VerifyDialog::VerifyDialog(QWidget *owner, const Verification &overall, const std::vector<Verification> &signatures)
    : QDialog(owner)
{
    setObjectName(QStringLiteral("gomaVerifyDialog"));
    setWindowTitle(QStringLiteral("署名の検証結果 - Goma"));
    setModal(true);
    auto *layout = new QVBoxLayout(this);
    auto *top = new QHBoxLayout;
    auto *icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("gomaVerdictIcon"));
    icon->setPixmap(verdictIcon(overall.verdict, 32));
    top->addWidget(icon, 0, Qt::AlignTop);
    QString text = headline(overall.verdict);
    const std::size_t n = signatures.size();
    if (n > 1) {
        std::size_t good = 0;
        for (const Verification &s : signatures)
            good += s.verdict == Verdict::Good ? 1 : 0;
        text = good == n ? QStringLiteral("%1 件の署名はすべて正しい署名です。").arg(n)
                         : QStringLiteral("%1 件の署名のうち、正しい署名は %2 件です。最も悪い結果: %3")
                               .arg(n)
                               .arg(good)
                               .arg(headline(overall.verdict));
    } else if (overall.verdict == Verdict::None) {
        text = QStringLiteral("署名はありません。この暗号文が誰から送られたものかは確認できません。");
    }
    auto *head = new QLabel(text, this);
    head->setObjectName(QStringLiteral("gomaVerdict"));
    head->setWordWrap(true);
    QFont bold = head->font();
    bold.setBold(true);
    head->setFont(bold);
    if (overall.verdict == Verdict::Bad || overall.verdict == Verdict::Revoked)
        head->setStyleSheet(QStringLiteral("color: #b00000;"));
    else if (overall.verdict == Verdict::Good)
        head->setStyleSheet(QStringLiteral("color: #006000;"));
    top->addWidget(head, 1);
    layout->addLayout(top);
    if (n > 1) {
        for (const Verification &s : signatures)
            layout->addWidget(signaturePanel(this, s, true));
    } else if (overall.verdict != Verdict::None) {
        layout->addWidget(signaturePanel(this, n == 1 ? signatures.front() : overall, false));
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    setMinimumWidth(520);
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
    auto *homeLabel = new QLabel(QStringLiteral("GnuPGのホーム(&H):"), this);
    homeLabel->setBuddy(m_home);
    form->addRow(homeLabel, homeRow);
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
    setWindowTitle(QStringLiteral("Goma ライブラリの情報"));
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
