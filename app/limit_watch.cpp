// SPDX-License-Identifier: GPL-3.0-or-later
#include "limit_watch.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QWidget>
#include <algorithm>
#include <fstream>
#include <utility>
#include <vector>

#include "log_categories.h"
#include "number_text.h"
#include "parse_number.h"
#include "spectrum_model.h"
#include "titles.h"

namespace kv {

namespace {

constexpr std::array<const char*, 3> kKindNames = {"Level", "File", "Max Hold"};

// The mask in a file, refused whole with the line and why.
MaskLoad readMaskFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file.is_open()) return {{}, "cannot be read"};
    std::string text(kMaxMaskBytes + 1, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    return parseMask(text);
}

// A mask in one settings value: its lines joined by "; ".
std::string maskValue(const std::vector<LimitCorner>& corners) {
    std::string text = formatMask(corners);
    if (!text.empty()) text.pop_back();
    std::string value;
    for (char c : text) value += c == '\n' ? std::string("; ") : std::string(1, c);
    return value;
}

std::vector<LimitCorner> maskFromValue(std::string value) {
    std::replace(value.begin(), value.end(), ';', '\n');
    return parseMask(value).corners;
}

}  // namespace

LimitWatch::LimitWatch(SharedState& state, SettingsBackend& store, Display& display,
                       MessageBox& messages, QWidget& window, std::function<void()> redraw,
                       std::function<void()> titleChanged)
    : state_(state),
      store_(store),
      display_(display),
      messages_(messages),
      window_(window),
      redraw_(std::move(redraw)),
      titleChanged_(std::move(titleChanged)),
      alarm_(std::nullopt, kDefaultAlarmHold, kDefaultAlarmClearDb,
             [this](const AlarmEvent& event) { alarmChanged(event); }) {}

void LimitWatch::load() {
    const auto read = [this](const char* key) { return store_.read(kSection, key); };
    const auto number = [&](const char* key) {
        const auto text = read(key);
        return text ? parseNumber<double>(*text) : std::nullopt;
    };
    on_ = read("On").value_or("0") == "1";
    if (const auto colour = read("Color"); colour)
        colour_ = parseNumber<Colour>(*colour).value_or(kDefaultColour);
    levelDb_ = number("Level").value_or(levelDb_);
    marginDb_ = number("Margin").value_or(marginDb_);
    file_ = read("File").value_or("");
    const std::string kind = read("Kind").value_or("");
    const auto named = std::find(kKindNames.begin(), kKindNames.end(), kind);
    kind_ = named == kKindNames.end() ? Kind::Level : static_cast<Kind>(named - kKindNames.begin());
    limit_.reset();
    if (kind_ == Kind::Level && read("Level")) {
        limit_ = Limit::level(levelDb_);
    } else if (kind_ == Kind::File && !file_.empty()) {
        MaskLoad mask = readMaskFile(file_);
        if (mask.error.empty()) {
            limit_ = Limit::mask(std::move(mask.corners));
        } else {
            qCWarning(lcSettings, "the limit's mask %s is refused: %s", file_.c_str(),
                      mask.error.c_str());
        }
    } else if (kind_ == Kind::MaxHold) {
        if (auto corners = maskFromValue(read("Mask").value_or("")); !corners.empty())
            limit_ = Limit::mask(std::move(corners));
    }
    apply();
}

void LimitWatch::save() {
    std::vector<std::pair<std::string, std::string>> values{
        {"On", on_ ? "1" : "0"},
        {"Kind", kKindNames[static_cast<std::size_t>(kind_)]},
        {"Level", singleText(static_cast<float>(levelDb_))},
        {"File", file_},
        {"Margin", singleText(static_cast<float>(marginDb_))},
        {"Color", std::to_string(colour_)}};
    if (kind_ == Kind::MaxHold && limit_) values.emplace_back("Mask", maskValue(limit_->corners()));
    // A failed write is logged; the limit still applies to this run.
    (void)store_.writeAll(kSection, values);
}

void LimitWatch::apply() {
    const std::optional<Limit> shown = on_ ? limit_ : std::nullopt;
    display_.setLimit(shown, colour_);
    alarm_.setLimit(shown);
    // A new limit (or none) starts without an alarm.
    showAlarm({});
    if (redraw_) redraw_();
}

bool LimitWatch::setLimit(Kind kind, double levelDb, const std::string& file, double marginDb) {
    std::optional<Limit> limit;
    if (kind == Kind::Level) {
        limit = Limit::level(levelDb);
    } else if (kind == Kind::File) {
        MaskLoad mask = readMaskFile(file);
        if (!mask.error.empty()) {
            messages_.show("The mask " + file + " is refused: " + mask.error, "Limit");
            return false;
        }
        limit = Limit::mask(std::move(mask.corners));
    } else {
        std::vector<LimitCorner> corners;
        const int n = usablePointCount(state_);
        for (int i = 0; i < n; ++i) {
            const TracePoint& p = state_.trace[static_cast<std::size_t>(i)];
            if (p.yOut != 0)
                corners.push_back({pointFrequency(state_.settings, i), p.amplitudeDb + marginDb});
        }
        if (corners.empty()) {
            messages_.show("No trace has been measured yet to take the limit from.", "Limit");
            return false;
        }
        limit = Limit::mask(std::move(corners));
    }
    kind_ = kind;
    levelDb_ = levelDb;
    file_ = file;
    marginDb_ = marginDb;
    limit_ = std::move(limit);
    on_ = true;
    save();
    apply();
    return true;
}

void LimitWatch::toggle() {
    on_ = !on_;
    save();
    apply();
}

void LimitWatch::setColour(Colour colour) {
    colour_ = colour;
    save();
    display_.setLimit(on_ ? limit_ : std::nullopt, colour_);
    if (redraw_) redraw_();
}

void LimitWatch::addSettingsItem(QMenu& settings) {
    QAction* item = settings.addAction(QStringLiteral("Limit…"));
    item->setObjectName(QStringLiteral("Main_Settings_Limit"));
    connect(item, &QAction::triggered, this, &LimitWatch::showDialog);
}

void LimitWatch::addViewItem(QMenu& view) {
    QAction* item = view.addAction(QStringLiteral("Limit Occupancy"));
    item->setObjectName(QStringLiteral("Main_View_LimitOccupancy"));
    item->setCheckable(true);
    connect(item, &QAction::toggled, this, &LimitWatch::setOccupancyShown);
}

void LimitWatch::setOccupancyShown(bool shown) {
    display_.setOccupancy(
        shown ? std::function<std::vector<double>()>([this] { return alarm_.occupancy().shares(); })
              : nullptr);
    if (redraw_) redraw_();
}

void LimitWatch::showDialog() {
    if (dialog_) {
        dialog_->raise();
        dialog_->activateWindow();
        return;
    }
    auto* dialog = new QDialog(&window_);
    dialog_ = dialog;
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QStringLiteral("Limit"));
    auto* grid = new QGridLayout(dialog);
    const auto choice = [&](const char* name, const char* caption, int row) {
        auto* button = new QRadioButton(QString::fromUtf8(caption), dialog);
        button->setObjectName(QString::fromLatin1(name));
        grid->addWidget(button, row, 0);
        return button;
    };
    const auto dbBox = [&](const char* name, double low, double high, double value, int row) {
        auto* box = new QDoubleSpinBox(dialog);
        box->setObjectName(QString::fromLatin1(name));
        // The same numbers in every locale.
        box->setLocale(QLocale::c());
        box->setRange(low, high);
        box->setDecimals(1);
        box->setValue(value);
        grid->addWidget(box, row, 1);
        return box;
    };
    QRadioButton* level = choice("Limit_Level", "Level (dB):", 0);
    QDoubleSpinBox* levelDb = dbBox("Limit_LevelDb", -200, 50, levelDb_, 0);
    QRadioButton* file = choice("Limit_File", "Mask file (MHz, dB):", 1);
    auto* path = new QLineEdit(QString::fromStdString(file_), dialog);
    path->setObjectName(QStringLiteral("Limit_FilePath"));
    grid->addWidget(path, 1, 1);
    QRadioButton* maxHold = choice("Limit_MaxHold", "From max hold, margin (dB):", 2);
    QDoubleSpinBox* margin = dbBox("Limit_Margin", 0, 100, marginDb_, 2);
    (kind_ == Kind::Level ? level : kind_ == Kind::File ? file : maxHold)->setChecked(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    grid->addWidget(buttons, 3, 0, 1, 2);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, dialog, [=, this] {
        const Kind kind = level->isChecked()  ? Kind::Level
                          : file->isChecked() ? Kind::File
                                              : Kind::MaxHold;
        // A refused mask keeps the dialog open, and the limit as it was.
        if (setLimit(kind, levelDb->value(), path->text().toStdString(), margin->value()))
            dialog->accept();
    });
    dialog->show();
}

void LimitWatch::alarmChanged(const AlarmEvent& event) {
    const QString local =
        QDateTime::fromSecsSinceEpoch(
            std::chrono::duration_cast<std::chrono::seconds>(event.since.time_since_epoch())
                .count())
            .toString(QStringLiteral("HH:mm:ss"));
    showAlarm(event.active ? "ALARM since " + local.toStdString() : std::string());
    qCInfo(lcWindow, "%s", alarmText(event).c_str());
    notify(QString::fromUtf8(event.active ? "Alarm: the band breaks the limit" : "Alarm cleared"),
           QString::fromStdString(alarmText(event)));
}

void LimitWatch::showAlarm(std::string text) {
    state_.texts.alarm = std::move(text);
    titleChanged_();
}

void LimitWatch::notify(const QString& summary, const QString& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    // Without a session bus, or without the service on it, nothing is shown and nothing said.
    if (!bus.isConnected()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << QString::fromUtf8(kWindowTitle) << 0u << QString() << summary << body << QStringList()
         << QVariantMap() << -1;
    call.setAutoStartService(false);
    bus.send(call);
}

}  // namespace kv
