#include "archive/error.h"
#include "cli/commands.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <new>

int main(int argc, char** argv) {
    CLI::App app{"kelvot-cli: list, check and edit DAT archives from a shell", "kelvot-cli"};
    app.set_version_flag("--version", std::string("kelvot-cli ") + KELVOT_VERSION);
    app.require_subcommand(1);

    int status = 0;
    kelvot::cli::AddListCommand(app, status);
    kelvot::cli::AddInfoCommand(app, status);
    kelvot::cli::AddVerifyCommand(app, status);
    kelvot::cli::AddExtractCommand(app, status);
    kelvot::cli::AddExportCommand(app, status);
    kelvot::cli::AddEditCommands(app, status);
#ifdef KELVOT_WITH_MOUNT
    kelvot::cli::AddMountCommand(app, status);
#endif

    // A write past `ulimit -f` then fails with EFBIG through the usual error path, which removes the
    // temporary file, instead of killing the program without a word.
    std::signal(SIGXFSZ, SIG_IGN);

    // CLI11 would take an unknown word for a missing subcommand.
    const auto commands = app.get_subcommands({});
    if (argc > 1 && argv[1][0] != '-' && std::none_of(commands.begin(), commands.end(), [&](CLI::App* sub) {
            return sub->check_name(argv[1]);
        })) {
        std::string names;
        for (const CLI::App* sub : commands)
            names += (names.empty() ? "" : ", ") + sub->get_name();
        std::cerr << "kelvot-cli: unknown command \"" << argv[1] << "\"; the commands are " << names
                  << ". Run with --help for more information.\n";
        return 2;
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return 2;
    } catch (const std::bad_alloc&) {
        std::cerr << "kelvot-cli: " << std::strerror(ENOMEM) << '\n';
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "kelvot-cli: " << e.what() << '\n';
        return 1;
    }
    return status;
}
