// SPDX-License-Identifier: GPL-3.0-or-later

#include "DesktopMain.h"
#include "app/CommandLine.h"
#include "engine/SelfTest.h"
#include "engine/util/RunStart.h"

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    // "--self-test" anywhere, except as a file name given to a command.
    const bool command = tarvo::app::CommandLine::handles(arguments);
    if (!command && std::find(arguments.begin(), arguments.end(), "--self-test") != arguments.end()) {
        const bool passed = tarvo::engine::SelfTest::run(std::cerr);
        std::cerr << (passed ? "SELFTEST OK" : "SELFTEST FAIL") << std::endl;
        return passed ? 0 : 1;
    }
    if (!command && tarvo::app::DesktopRequest::isDesktopLaunch(arguments)) {
        tarvo::engine::beginRun(tarvo::engine::RunKind::window);
        return tarvo::runDesktop(argc, argv);
    }
    tarvo::engine::beginRun(tarvo::engine::RunKind::commandLine);
    return tarvo::app::CommandLine::run(arguments, std::cin, std::cout, std::cerr);
}
