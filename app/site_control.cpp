// SPDX-License-Identifier: GPL-3.0-or-later
#include "site_control.h"

#include <qt6keychain/keychain.h>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QFormLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QStatusBar>
#include <QTreeWidget>

#include "log_categories.h"

namespace kv {

namespace {

constexpr int kTickMs = 1000;
constexpr const char* kUrlKey = "URL";
constexpr const char* kCaFileKey = "CA File";

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

// The keyring's entry of a broker's user: "USER@HOST:PORT".
QString keyringKey(const mqtt::MqttUrl& url) {
    return text(url.user.value_or("") + '@' + url.host + ':' + std::to_string(url.port));
}

}  // namespace

SiteControl::SiteControl(QMainWindow& window, SettingsBackend& store, Calls calls)
    : QObject(&window), window_(window), store_(store), calls_(std::move(calls)) {
    ticker_.setInterval(kTickMs);
    connect(&ticker_, &QTimer::timeout, this, &SiteControl::refresh);
}

SiteControl::~SiteControl() {
    if (site_ && compareId_) site_->unfollow(*compareId_);
}

void SiteControl::addFileItem(QMenu& file) {
    QAction* item = file.addAction(QStringLiteral("Connect to &Site…"));
    item->setObjectName(QStringLiteral("Main_File_Site"));
    connect(item, &QAction::triggered, this, &SiteControl::showConnectDialog);
}

void SiteControl::addViewItem(QMenu& view) {
    QAction* item = view.addAction(QStringLiteral("Compare &With…"));
    item->setObjectName(QStringLiteral("Main_View_Compare"));
    connect(item, &QAction::triggered, this, &SiteControl::showCompareDialog);
}

std::string SiteControl::connectTo(SiteAddress address, const std::optional<std::string>& radio) {
    auto site = std::make_unique<SiteWatch>(std::move(address), this);
    if (!site->error().empty()) return site->error();
    delete site_;
    site_ = site.release();
    watched_.clear();
    compared_.clear();
    compareId_.reset();
    if (calls_.compare) calls_.compare(nullptr);
    connect(site_, &SiteWatch::changed, this, &SiteControl::refresh);
    if (!dock_) {
        dock_ = new QDockWidget(QStringLiteral("Site"), &window_);
        dock_->setObjectName(QStringLiteral("Site_Dock"));
        list_ = new QTreeWidget(dock_);
        list_->setObjectName(QStringLiteral("Site_Radios"));
        list_->setHeaderLabels({QStringLiteral("Radio"), QStringLiteral("State"),
                                QStringLiteral("Last sweep"), QStringLiteral("Band"),
                                QStringLiteral("Points"), QStringLiteral("Sweeps/s")});
        list_->setRootIsDecorated(false);
        list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
        // Double click or Enter watches the radio; the picture keeps its keys otherwise.
        connect(list_, &QTreeWidget::itemActivated, this,
                [this](QTreeWidgetItem* item) { watchRadio(item->text(0).toStdString()); });
        dock_->setWidget(list_);
        window_.addDockWidget(Qt::RightDockWidgetArea, dock_);
        status_ = new QLabel(&window_);
        status_->setObjectName(QStringLiteral("Site_Status"));
        window_.statusBar()->addWidget(status_);
    }
    dock_->setWindowTitle(text("Site " + site_->name()));
    dock_->show();
    ticker_.start();
    watched_ = radio.value_or("");
    calls_.watch(std::make_unique<SiteRadioSource>(*site_, watched_),
                 watched_.empty() ? site_->name() : watched_ + " at " + site_->name());
    refresh();
    return {};
}

void SiteControl::watchRadio(const std::string& radio) {
    if (!site_) return;
    watched_ = radio;
    calls_.watch(std::make_unique<SiteRadioSource>(*site_, radio), radio + " at " + site_->name());
    refresh();
}

std::string SiteControl::statusText() const {
    if (!site_) return {};
    std::string status = watched_.empty() ? "no radio chosen" : watched_;
    if (const SiteRadio* radio = site_->radios().find(watched_); radio && radio->swept)
        status += ", sweep " + SiteRadios::ageText(radio->began, std::chrono::system_clock::now()) +
                  " old";
    if (const std::string trouble = site_->unreachableText(); !trouble.empty())
        status += "; " + trouble;
    if (site_->dropped() > 0)
        status += "; " + std::to_string(site_->dropped()) + " messages dropped";
    return status;
}

void SiteControl::refresh() {
    if (!site_ || !list_) return;
    const auto now = std::chrono::system_clock::now();
    const auto& radios = site_->radios().radios();
    list_->setUpdatesEnabled(false);
    while (list_->topLevelItemCount() > static_cast<int>(radios.size()))
        delete list_->takeTopLevelItem(list_->topLevelItemCount() - 1);
    for (std::size_t i = 0; i < radios.size(); ++i) {
        QTreeWidgetItem* item = list_->topLevelItem(static_cast<int>(i));
        if (!item) item = new QTreeWidgetItem(list_);
        const auto columns = SiteRadios::columns(radios[i], now);
        for (std::size_t c = 0; c < columns.size(); ++c)
            if (item->text(static_cast<int>(c)) != text(columns[c]))
                item->setText(static_cast<int>(c), text(columns[c]));
        QFont font = item->font(0);
        font.setBold(radios[i].name == watched_);
        item->setFont(0, font);
    }
    list_->setUpdatesEnabled(true);
    if (const QString status = text(statusText()); status_->text() != status)
        status_->setText(status);
}

void SiteControl::showConnectDialog() {
    auto* dialog = new QDialog(&window_);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setObjectName(QStringLiteral("Site_Connect"));
    dialog->setWindowTitle(QStringLiteral("Connect to Site"));
    auto* form = new QFormLayout(dialog);
    auto* url = new QLineEdit(text(store_.read(kSection, kUrlKey).value_or("mqtt://localhost")));
    auto* caFile = new QLineEdit(text(store_.read(kSection, kCaFileKey).value_or("")));
    auto* password = new QLineEdit;
    password->setEchoMode(QLineEdit::Password);
    password->setPlaceholderText(QStringLiteral("kept in the keyring"));
    auto* problem = new QLabel;
    url->setObjectName(QStringLiteral("Site_Url"));
    password->setObjectName(QStringLiteral("Site_Password"));
    form->addRow(QStringLiteral("&Broker (mqtt[s]://[USER@]HOST[:PORT][/PREFIX]):"), url);
    form->addRow(QStringLiteral("&CA file (mqtts://):"), caFile);
    form->addRow(QStringLiteral("&Password of USER:"), password);
    form->addRow(problem);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, dialog, [=, this] {
        SiteAddress address;
        const std::string why = mqtt::parseMqttUrl(url->text().toStdString(), address.url);
        if (!why.empty()) return problem->setText(text(why));
        if (!caFile->text().isEmpty() && !address.url.tls)
            return problem->setText(QStringLiteral("A CA file needs an mqtts:// URL."));
        address.caFile = caFile->text().toStdString();
        // Never the password: that goes to the keyring.
        store_.writeAll(kSection,
                        {{kUrlKey, url->text().toStdString()}, {kCaFileKey, address.caFile}});
        connectWithKeyring(std::move(address), password->text());
        dialog->accept();
    });
    dialog->show();
}

void SiteControl::connectWithKeyring(SiteAddress address, const QString& typedPassword) {
    const auto go = [this](SiteAddress a) {
        if (const std::string why = connectTo(std::move(a), std::nullopt); !why.empty())
            calls_.tell("The site could not be watched: " + why);
    };
    if (!address.url.user) return go(std::move(address));
    const QString key = keyringKey(address.url);
    if (!typedPassword.isEmpty()) {
        address.password = typedPassword.toStdString();
        // Kept where a keyring answers; without one it is simply not kept.
        auto* job = new QKeychain::WritePasswordJob(QString::fromLatin1(kKeyringService));
        job->setKey(key);
        job->setTextData(typedPassword);
        connect(job, &QKeychain::Job::finished, [](QKeychain::Job* done) {
            if (done->error() != QKeychain::NoError)
                qCInfo(lcSite) << "the password is not kept:" << done->errorString();
        });
        job->start();
        return go(std::move(address));
    }
    auto* job = new QKeychain::ReadPasswordJob(QString::fromLatin1(kKeyringService));
    job->setKey(key);
    connect(job, &QKeychain::Job::finished, this,
            [address = std::move(address), go](QKeychain::Job* done) mutable {
                if (done->error() == QKeychain::NoError)
                    address.password =
                        static_cast<QKeychain::ReadPasswordJob*>(done)->textData().toStdString();
                else if (const char* env = std::getenv("KV3710_MQTT_PASSWORD"); env && *env)
                    address.password = env;
                go(std::move(address));
            });
    job->start();
}

void SiteControl::showCompareDialog() {
    if (!site_) return calls_.tell("Connect to a site first (File \u2192 Connect to Site\u2026).");
    QStringList names{QStringLiteral("(none)")};
    for (const SiteRadio& radio : site_->radios().radios())
        if (radio.name != watched_) names << text(radio.name);
    // Not modal: the sweep goes on while it is open.
    auto* dialog = new QInputDialog(&window_);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setObjectName(QStringLiteral("Site_Compare"));
    dialog->setWindowTitle(QStringLiteral("Compare With"));
    dialog->setLabelText(QStringLiteral("Radio drawn over the trace:"));
    dialog->setComboBoxItems(names);
    dialog->setComboBoxEditable(false);
    connect(dialog, &QInputDialog::textValueSelected, this,
            [this, none = names.front()](const QString& chosen) {
                compareWith(chosen == none ? std::string() : chosen.toStdString());
            });
    dialog->show();
}

void SiteControl::compareWith(const std::string& radio) {
    if (!site_) return;
    if (compareId_) site_->unfollow(*compareId_);
    compareId_.reset();
    calls_.compare(nullptr);
    compared_ = radio;
    if (compared_.empty()) return;
    compareId_ = site_->follow(compared_, [this](const Sweep& sweep) { calls_.compare(&sweep); });
}

}  // namespace kv
