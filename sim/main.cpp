// tessaray-sim: stand-in devices on a virtual bus directory, and its control client.
#include "cli_options.h"
#include "ctl_client.h"
#include "simulator.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << sim::kUsage;
        return 0;
    }
    const bool ctl = !args.empty() && args[0] == "ctl";
    try {
        if (ctl) {
            args.erase(args.begin());
            return sim::runCtl(sim::parseCtlOptions(args));
        }
        const sim::SimOptions options = sim::parseSimOptions(args);
        sim::Simulator simulator(options);
        simulator.run();
        return 0;
    } catch (const sim::ConfigError& e) {
        std::cerr << "tessaray-sim: " << e.what() << '\n' << sim::kUsage;
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "tessaray-sim: " << e.what() << '\n';
        return 1;
    }
}
