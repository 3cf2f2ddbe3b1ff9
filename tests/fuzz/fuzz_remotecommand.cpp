// Any bytes from the broker's command topic: a command is taken only when it is one of the
// face's keys or a tare of digits with at most one point, and never throws or reads past the
// payload.
#include "FuzzCheck.h"
#include "cli/publish/PublishRules.h"

#include <cstddef>
#include <cstdint>

using namespace kx::cli;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray payload(reinterpret_cast<const char*>(data), qsizetype(size));
    QString why;
    const auto command = parseRemoteCommand(payload, &why);
    FUZZ_CHECK(command.has_value() == why.isEmpty());
    if (command && command->kind == RemoteCommand::Tare) {
        FUZZ_CHECK(!command->tare.isEmpty() && command->tare.size() <= 14);
        FUZZ_CHECK(command->tare.count(QLatin1Char('.')) <= 1);
        for (const QChar c : command->tare)
            FUZZ_CHECK(c == QLatin1Char('.') || (c >= QLatin1Char('0') && c <= QLatin1Char('9')));
    } else if (command) {
        FUZZ_CHECK(command->tare.isEmpty());
    }
    // The same bytes as a broker address: refused or a host of safe characters and a port.
    const auto address = parseBrokerAddress(QString::fromLatin1(payload), &why);
    if (address)
        FUZZ_CHECK(!address->host.isEmpty() && address->port >= 1 && address->port <= 65535);
    return 0;
}
