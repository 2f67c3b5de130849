#include "scenario.h"

#include <cstdlib>

namespace artnet_node {

Scenario ParseScenario(const std::string& command) {
    Scenario scenario;
    std::size_t at = command.find(' ');
    while (at != std::string::npos) {
        std::size_t end = command.find(' ', at + 1);
        std::string item = command.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
        at = end;
        std::size_t eq = item.find('=');
        if (eq == std::string::npos) continue;
        std::string key = item.substr(0, eq);
        std::string value = item.substr(eq + 1);
        if (key == "reply") scenario.reply = value != "none";
        if (key == "length") scenario.length = std::strtoul(value.c_str(), nullptr, 10);
        if (key == "delay") scenario.delayMs = std::atoi(value.c_str());
        if (key == "source") scenario.fromSecond = value == "second";
        if (key == "flood") scenario.floodRate = std::atoi(value.c_str());
        if (key == "flood_ms") scenario.floodMs = std::atoi(value.c_str());
        if (key == "hostile") {
            scenario.hostileCount = std::strtol(value.c_str(), nullptr, 10);
            std::size_t comma = value.find(',');
            if (comma != std::string::npos) scenario.hostileSeed = std::strtoul(value.c_str() + comma + 1, nullptr, 10);
        }
        if (key == "hostile_from") scenario.hostileFrom = std::strtol(value.c_str(), nullptr, 10);
        if (key == "hostile_rate") scenario.hostileRate = std::atoi(value.c_str());
        if (key == "then_good") scenario.thenGoodMs = std::atoi(value.c_str());
        if (key == "acceptable") scenario.acceptable = value;
        if (key == "poke") {
            std::size_t colon = value.find(':');
            scenario.pokes.emplace_back(std::strtoul(value.c_str(), nullptr, 10), Hex(value.substr(colon + 1)));
        }
        if (key == "before") {
            for (std::size_t from = 0; from <= value.size();) {
                std::size_t comma = value.find(',', from);
                if (comma == std::string::npos) comma = value.size();
                scenario.before.push_back(value.substr(from, comma - from));
                from = comma + 1;
            }
        }
    }
    if (scenario.length > 2000) scenario.length = 2000;
    if (scenario.hostileCount < 0) scenario.hostileCount = 0;
    if (scenario.hostileCount > 1000000) scenario.hostileCount = 1000000;
    if (scenario.hostileFrom < 0) scenario.hostileFrom = 0;
    if (scenario.hostileRate < 1) scenario.hostileRate = 1;
    return scenario;
}

bool IsAcceptable(const Scenario& scenario, std::size_t member, std::size_t members) {
    if (scenario.acceptable == "none") return false;
    if (scenario.acceptable == "first") return member == 0;
    if (scenario.acceptable == "last") return member + 1 == members;
    return true;
}

}  // namespace artnet_node
