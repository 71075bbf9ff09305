#pragma once
// Runs one subcommand on the started program services: `list`, or a job on
// the chosen codec through the factory form's preparation and dispatch.
// The job's status ends in LastStatusCode, so the exit code is the factory
// form's; its outcome record goes to the human output or to JSON Lines, and
// to a burn_result.txt row unless --no-burn-result is given.
#include <string>
#include <vector>

#include "app/subcommand_line.h"

class CParseArg;

void RunSubcommand(const SubcommandRequest& request, CParseArg& job);

// A command line of the subcommands that cannot run: the reason on standard
// error and, with --json among the arguments, a result event; status 41540.
void RefuseSubcommandLine(const std::vector<std::string>& args, const std::string& error);
