// Any bytes as the gateway's configuration file: taken whole with every value in range, or
// refused with a reason that names the file and a line of it.
#include "FuzzCheck.h"
#include "cli/gateway/GatewayConfig.h"

#include <cstddef>
#include <cstdint>

using namespace kx::cli;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    QString why;
    const auto config = parseGatewayConfig(text, QStringLiteral("/nonexistent/g.ini"), &why);
    FUZZ_CHECK(config.has_value() == why.isEmpty());
    if (!config) {
        FUZZ_CHECK(why.startsWith(QLatin1String("g.ini:")));
        return 0;
    }
    FUZZ_CHECK(!config->indicators.isEmpty());
    FUZZ_CHECK(config->modbus || config->mqtt);
    for (const GatewayIndicator& i : config->indicators) {
        FUZZ_CHECK(!i.name.isEmpty());
        FUZZ_CHECK(i.line.device.isEmpty() != (i.line.port == 0));
        FUZZ_CHECK(config->modbus ? i.unit >= 1 && i.unit <= 247 : i.unit >= 0);
    }
    if (config->modbus)
        FUZZ_CHECK(config->modbus->maxClients >= 1 && config->modbus->port >= 1);
    return 0;
}
