// SPDX-License-Identifier: GPL-3.0-or-later
#include "sweep_message.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <limits>

#include "spectrum_model.h"
#include "sweep_log.h"

namespace kv {

namespace {

constexpr double kHzPerMHz = 1e6;
// Whole numbers a double holds exactly.
constexpr double kLargestWhole = 9007199254740992.0;
// Far beyond any level a radio reports, near enough to draw.
constexpr double kLoudestLevel = 1000.0;

std::optional<double> wholeNumber(const QJsonValue& value, double least, double most) {
    if (!value.isDouble()) return std::nullopt;
    const double number = value.toDouble();
    if (number != std::floor(number) || number < least || number > most) return std::nullopt;
    return number;
}

// The band whose points the analyzer places at the message's frequencies, or nothing when
// Hz low, Hz high and the step do not belong to `points` points.
std::optional<SettingValues> bandOf(double hzLow, double hzHigh, double hzStep, int points) {
    SettingValues band;
    const double step = hzStep / kHzPerMHz;
    const double span = step * (points + 1);
    const double center = hzLow / kHzPerMHz - step + span / 2;
    // Single precision holds the analyzer's band; beyond it there is no band to draw.
    constexpr double kLargest = std::numeric_limits<float>::max();
    if (!(span > 0) || !(span < kLargest) || !(std::abs(center) < kLargest)) return std::nullopt;
    band.span = static_cast<float>(span);
    band.centerFrequency = static_cast<float>(center);
    band.numberOfPoints = static_cast<std::int16_t>(points);
    if (!std::isfinite(band.span) || !std::isfinite(band.centerFrequency) || !(band.span > 0))
        return std::nullopt;
    // The logger's band is single precision: its frequencies come back within a step of it.
    const LogBand back = logBand(band);
    const auto near = [](double a, double b) { return std::abs(a - b) <= 2 + std::abs(b) * 1e-7; };
    if (!near(static_cast<double>(back.hzLow), hzLow) ||
        !near(static_cast<double>(back.hzHigh), hzHigh) || !near(back.hzStep, hzStep))
        return std::nullopt;
    return band;
}

}  // namespace

std::string formatSweepMessage(const SettingValues& band,
                               std::chrono::system_clock::time_point begun, std::uint64_t seq,
                               int samples, std::span<const double> levelsDb) {
    const LogBand hz = logBand(band);
    std::string json;
    json.reserve(140 + levelsDb.size() * 8);
    json += R"({"time":")" + utcIsoTime(begun) + R"(","seq":)" + std::to_string(seq) +
            R"(,"hz_low":)" + std::to_string(hz.hzLow) + R"(,"hz_high":)" +
            std::to_string(hz.hzHigh) + R"(,"hz_step":)";
    appendLogDecimal(json, hz.hzStep);
    json += R"(,"samples":)" + std::to_string(samples) + R"(,"db":[)";
    for (std::size_t i = 0; i < levelsDb.size(); ++i) {
        if (i > 0) json += ',';
        appendLogDecimal(json, levelsDb[i]);
    }
    json += R"(],"schema":)" + std::to_string(kSweepMessageSchema) + "}";
    return json;
}

std::optional<SweepMessage> parseSweepMessage(std::string_view payload) {
    if (payload.size() > kLongestSweepMessage) return std::nullopt;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray::fromRawData(payload.data(), static_cast<qsizetype>(payload.size())), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
    const QJsonObject m = document.object();
    if (m.contains(QLatin1String("schema")) &&
        wholeNumber(m[QLatin1String("schema")], 1, kSweepMessageSchema) != kSweepMessageSchema)
        return std::nullopt;
    const QJsonValue time = m[QLatin1String("time")];
    const QJsonValue levels = m[QLatin1String("db")];
    const auto seq = wholeNumber(m[QLatin1String("seq")], 0, kLargestWhole);
    const auto hzLow = wholeNumber(m[QLatin1String("hz_low")], -kLargestWhole, kLargestWhole);
    const auto hzHigh = wholeNumber(m[QLatin1String("hz_high")], -kLargestWhole, kLargestWhole);
    const auto samples = wholeNumber(m[QLatin1String("samples")], 1, 2147483647.0);
    const QJsonValue step = m[QLatin1String("hz_step")];
    if (!time.isString() || !levels.isArray() || !seq || !hzLow || !hzHigh || !samples ||
        !step.isDouble() || !(step.toDouble() > 0))
        return std::nullopt;
    const QString text = time.toString();
    const QDateTime began = QDateTime::fromString(text, Qt::ISODateWithMs);
    // Within what the system clock holds (some 292 years either side of 1970).
    const qint64 latestMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::system_clock::duration::max())
                                .count();
    if (!began.isValid() || !text.endsWith(QLatin1Char('Z')) ||
        std::abs(began.toMSecsSinceEpoch()) >= latestMs)
        return std::nullopt;
    const QJsonArray array = levels.toArray();
    if (array.isEmpty() || array.size() > kMaxPoints) return std::nullopt;
    SweepMessage message;
    message.levelsDb.reserve(static_cast<std::size_t>(array.size()));
    for (const QJsonValue& level : array) {
        if (!level.isDouble() || !(std::abs(level.toDouble()) <= kLoudestLevel))
            return std::nullopt;
        message.levelsDb.push_back(level.toDouble());
    }
    const auto band =
        bandOf(*hzLow, *hzHigh, step.toDouble(), static_cast<int>(message.levelsDb.size()));
    if (!band) return std::nullopt;
    message.band = *band;
    message.began =
        std::chrono::system_clock::time_point(std::chrono::milliseconds(began.toMSecsSinceEpoch()));
    message.seq = static_cast<std::uint64_t>(*seq);
    message.samples = static_cast<int>(*samples);
    return message;
}

}  // namespace kv
