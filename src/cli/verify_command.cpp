#include "archive/verify.h"
#include "cli/commands.h"

#include <iostream>
#include <nlohmann/json.hpp>

namespace kelvot::cli {

void AddVerifyCommand(CLI::App& app, int& status) {
    auto* cmd = app.add_subcommand("verify", "Check an archive without changing it");
    auto archive = std::make_shared<std::string>();
    auto json = std::make_shared<bool>(false);
    cmd->add_option("ARCHIVE", *archive, "The DAT file")->required();
    cmd->add_flag("--json", *json, "Print {\"ok\": ..., \"problems\": [...]}");
    cmd->callback([=, &status] {
        const auto problems = VerifyArchiveFile(*archive);
        if (*json) {
            std::cout << nlohmann::json{{"ok", problems.empty()}, {"problems", problems}}.dump(2) << '\n';
        } else if (problems.empty()) {
            std::cout << "OK\n";
        } else {
            for (const auto& p : problems)
                std::cout << p << '\n';
        }
        status = problems.empty() ? 0 : 1;
    });
}

} // namespace kelvot::cli
