#include "cli/gateway/Gateway.h"

#include "cli/Terminal.h"
#include "cli/publish/IndicatorFeed.h"
#include "cli/publish/PublishRules.h"

#include <cstdio>

namespace kx::cli {
namespace {

constexpr int Error = 3;
constexpr int Warning = 4;
constexpr int Notice = 5;
constexpr int Info = 6;

// What decides whether a running feed can stay through a reload: the same line, unit and
// broker settings.
QString feedKey(const GatewayIndicator& i, const std::optional<MqttOptions>& mqtt)
{
    QString key = QStringLiteral("%1|%2|%3|%4|%5|%6|%7|%8|%9")
                      .arg(i.name, i.line.device)
                      .arg(i.line.port)
                      .arg(i.line.baud)
                      .arg(i.line.parity)
                      .arg(i.line.mode)
                      .arg(i.line.outputs)
                      .arg(i.line.log)
                      .arg(i.unit);
    if (mqtt) {
        const BrokerOptions& b = mqtt->broker;
        const FeedOptions& f = mqtt->feed;
        key += QStringLiteral("|%1:%2|%3|%4|%5|%6|%7|%8|%9")
                   .arg(b.host)
                   .arg(b.port)
                   .arg(b.user, b.password, b.caFile, b.certFile, b.keyFile, f.prefix)
                   .arg(f.qos);
        key += QStringLiteral("|%1|%2|%3|%4")
                   .arg(f.rateLimitHz)
                   .arg(f.onlyChanges)
                   .arg(f.heartbeatMs)
                   .arg(f.allowCommands);
    }
    return key;
}

bool sameListener(const ModbusOptions& a, const ModbusOptions& b)
{
    return a.address == b.address && a.port == b.port;
}

} // namespace

Gateway::Gateway(const QString& configPath, const QString& programFolder, bool quiet)
    : configPath_(configPath), programFolder_(programFolder), quiet_(quiet)
{
}

Gateway::~Gateway()
{
    stop();
}

void Gateway::log(int priority, const QString& text) const
{
    if (quiet_ && priority > Warning)
        return;
    std::fprintf(stderr, "<%d>%s\n", priority, qPrintable(terminalText(text)));
}

bool Gateway::start(const GatewayConfig& config, QString* why)
{
    config_ = config;
    if (config.modbus) {
        server_ = std::make_unique<ModbusServer>(
            *this, [this](int priority, const QString& text) { log(priority, text); });
        if (!server_->listen(*config.modbus, why))
            return false;
        log(Info, QStringLiteral("Modbus TCP on %1:%2, word order %3%4")
                      .arg(config.modbus->address.toString())
                      .arg(server_->port())
                      .arg(wordOrderName(config.modbus->wordOrder),
                           config.modbus->allowWrites ? QStringLiteral(", writes allowed")
                                                      : QString()));
    }
    if (!startFeeds(config, why))
        return false;
    // Every listener is up: the service manager may start what waits for us.
    notify_.ready(statusText());
    return true;
}

bool Gateway::startFeeds(const GatewayConfig& config, QString* why)
{
    FeedOptions feedOptions = config.mqtt ? config.mqtt->feed : FeedOptions{};
    feedOptions.mqtt = config.mqtt.has_value();
    feedOptions.priorities = true;
    const BrokerOptions broker = config.mqtt ? config.mqtt->broker : BrokerOptions{};
    for (const GatewayIndicator& ind : config.indicators) {
        auto unit = std::make_unique<Unit>();
        unit->config = ind;
        unit->feed = std::make_unique<IndicatorFeed>(ind.name, programFolder_, ind.line,
                                                     feedOptions, broker, quiet_);
        Unit* u = unit.get();
        connect(u->feed.get(), &IndicatorFeed::frameShown, this, [u](const DecodedFrame& f) {
            u->frame = f;
            ++u->frames;
            u->lastFrame.start();
        });
        connect(u->feed.get(), &IndicatorFeed::stateChanged, this, &Gateway::updateStatus);
        connect(u->feed.get(), &IndicatorFeed::brokerRefused, this, [this, u](const QString& text) {
            // Modbus goes on without the broker; restarting would only be refused again.
            log(Error, QStringLiteral("%1: the broker refused us for good: %2").arg(u->config.name, text));
        });
        if (!u->feed->start(why))
            return false;
        if (ind.unit > 0)
            byUnit_[ind.unit] = u;
        units_.push_back(std::move(unit));
    }
    return true;
}

void Gateway::stopFeeds()
{
    for (auto& u : units_)
        u->feed->stop();
    units_.clear();
    byUnit_.clear();
}

void Gateway::stop()
{
    notify_.stopping();
    stopFeeds();
    if (server_)
        server_->close();
    server_.reset();
}

void Gateway::reload()
{
    notify_.reloading();
    QString why;
    const auto next = readGatewayConfig(configPath_, &why);
    if (!next) {
        log(Error, QStringLiteral("reload refused, the running configuration stays: %1").arg(why));
        notify_.ready(statusText());
        return;
    }
    // A new listener first: if its address cannot be had, nothing of the old is lost.
    std::unique_ptr<ModbusServer> newServer;
    if (next->modbus && !(server_ && sameListener(server_->options(), *next->modbus))) {
        newServer = std::make_unique<ModbusServer>(
            *this, [this](int priority, const QString& text) { log(priority, text); });
        if (server_)
            server_->close(); // the same port may be asked for on another address
        if (!newServer->listen(*next->modbus, &why)) {
            log(Error, QStringLiteral("reload refused, the running configuration stays: %1").arg(why));
            if (server_ && !server_->listen(server_->options(), &why))
                log(Error, why);
            notify_.ready(statusText());
            return;
        }
    }
    if (newServer)
        server_ = std::move(newServer);
    else if (next->modbus)
        server_->setOptions(*next->modbus);
    else
        server_.reset();

    // Feeds whose line and broker settings are unchanged keep running through the reload:
    // their values and counters go on without a gap.
    std::vector<std::unique_ptr<Unit>> kept;
    for (auto& u : units_) {
        bool stays = false;
        for (const GatewayIndicator& ind : next->indicators)
            if (feedKey(ind, next->mqtt) == feedKey(u->config, config_.mqtt))
                stays = true;
        if (stays)
            kept.push_back(std::move(u));
        else
            u->feed->stop();
    }
    units_ = std::move(kept);
    byUnit_.clear();
    for (auto& u : units_)
        if (u->config.unit > 0)
            byUnit_[u->config.unit] = u.get();
    GatewayConfig fresh = *next;
    fresh.indicators.clear();
    for (const GatewayIndicator& ind : next->indicators) {
        bool running = false;
        for (auto& u : units_)
            running = running || u->config.name == ind.name;
        if (!running)
            fresh.indicators << ind;
    }
    const qsizetype keptCount = qsizetype(units_.size());
    if (!startFeeds(fresh, &why))
        log(Error, QStringLiteral("reload: %1").arg(why));
    config_ = *next;
    log(Notice, QStringLiteral("configuration reloaded: %1 indicator(s), %2 kept running")
                    .arg(next->indicators.size())
                    .arg(keptCount));
    notify_.ready(statusText());
}

bool Gateway::hasUnit(int unit) const
{
    return byUnit_.count(unit) > 0;
}

UnitState Gateway::unitState(int unit) const
{
    UnitState s;
    const auto it = byUnit_.find(unit);
    if (it == byUnit_.end())
        return s;
    const Unit& u = *it->second;
    const auto state = u.feed->state();
    s.frame = u.frame;
    s.online = state == IndicatorFeed::State::Online;
    s.portError = state == IndicatorFeed::State::PortError;
    s.noAnswer = state == IndicatorFeed::State::NoAnswer;
    s.frames = u.frames;
    s.ageMs = u.lastFrame.isValid() ? u.lastFrame.elapsed() : -1;
    s.lastWrite = u.lastWrite;
    s.tare = u.tare;
    return s;
}

modbus::Exception Gateway::feedCommand(int unit, const QByteArray& text)
{
    Unit& u = *byUnit_.at(unit);
    QString why;
    const auto command = parseRemoteCommand(text, &why);
    if (command && u.feed->state() != IndicatorFeed::State::Online)
        why = QStringLiteral("the indicator does not answer");
    else if (command && u.feed->command(*command, QString::fromLatin1(text), &why))
        why.clear();
    if (!command || !why.isEmpty()) {
        log(Warning, QStringLiteral("%1: Modbus write \"%2\" refused: %3")
                         .arg(u.config.name, QString::fromLatin1(text), why));
        u.lastWrite = WriteOutcome::Refused;
        return command && u.feed->state() != IndicatorFeed::State::Online
                   ? modbus::Exception::TargetFailed
                   : modbus::Exception::DeviceFailure;
    }
    log(Info, QStringLiteral("%1: Modbus write \"%2\" taken").arg(u.config.name, QString::fromLatin1(text)));
    u.lastWrite = WriteOutcome::Queued;
    return modbus::Exception::None;
}

modbus::Exception Gateway::pressCoil(int unit, int coil)
{
    static const char* keys[KeyCoils] = {"zero", "units", "net/gross", "auto tare", "print"};
    return feedCommand(unit, keys[coil]);
}

modbus::Exception Gateway::writeTare(int unit, std::int32_t scaled)
{
    Unit& u = *byUnit_.at(unit);
    QString why;
    const auto text = tareText(scaled, u.frame ? u.frame->decimals : 0, &why);
    if (!text) {
        log(Warning, QStringLiteral("%1: Modbus tare %2 refused: %3").arg(u.config.name).arg(scaled).arg(why));
        u.lastWrite = WriteOutcome::Refused;
        return modbus::Exception::IllegalValue;
    }
    const modbus::Exception e = feedCommand(unit, "tare " + text->toLatin1());
    if (e == modbus::Exception::None)
        u.tare = scaled;
    return e;
}

QString Gateway::statusText() const
{
    int online = 0;
    for (const auto& u : units_)
        online += u->feed->state() == IndicatorFeed::State::Online ? 1 : 0;
    QString text = QStringLiteral("%1 of %2 indicators online").arg(online).arg(units_.size());
    if (server_)
        text += QStringLiteral("; Modbus on port %1").arg(server_->port());
    return text;
}

void Gateway::updateStatus()
{
    notify_.status(statusText());
}

} // namespace kx::cli
