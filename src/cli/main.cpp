#include "cli/cli.h"

int main(int argc, char *argv[])
{
    return qm::cli::runCli(argc, argv);
}
