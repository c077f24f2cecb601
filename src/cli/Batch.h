// Painting many files in one run: inputs from a list, several files at once,
// shards of one list for cluster schedulers, resumable runs, a summary and a
// report. Each file is painted by the command's own single-file code in a
// process of its own, so that its picture is the same bit for bit as when it
// is painted alone, and a file that brings the painter down takes nothing
// else with it.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace brellin::cli {

// How a command takes part in a batch.
struct TBatchCommand {
  std::string Name;  // "render"
  // The command's own options, as its parser knows them.
  std::vector<std::string> ValueOptions, FlagOptions;
  // Options that name the files of one input: with them and one input (and no
  // batch option) the command runs as before.
  std::vector<std::string> SingleInputOptions;
  bool TakesThreads = false;  // hand each file its share of --threads
  // The output's file name for an input's name without its extension.
  std::function<std::string(const std::string& Stem)> OutputName;
  // The single-input command: INPUT -o OUT and the common options.
  std::function<int(const std::vector<std::string>&)> Run;
};

// The batch options in a command's usage line and help.
#define BRELLIN_BATCH_USAGE                                                             \
  "    [--from-list FILE] [--out-dir DIR [--keep-tree]] [--jobs N] [--skip-existing]\n" \
  "    [--keep-going] [--report FILE.jsonl] [--shard K/N | --shard auto [--shard-count N]]\n"
#define BRELLIN_BATCH_HELP                                                           \
  "Many files:\n"                                                                    \
  "  --from-list FILE one INPUT a line (- reads standard input); blank lines\n"      \
  "                   and lines starting with # are skipped\n"                       \
  "  --out-dir DIR    one output per input in DIR (needed for several inputs)\n"     \
  "  --keep-tree      keep the inputs' folders under DIR; without it two inputs\n"   \
  "                   of the same name are refused before any work\n"                \
  "  --jobs N         files painted at once (default: the cores, with several\n"     \
  "                   inputs), each with its share of the threads\n"                 \
  "  --skip-existing  skip an input whose output is there, complete and made by\n"   \
  "                   the same options (recorded beside it in DIR/.NAME.options);\n" \
  "                   a run killed part-way goes on where it was\n"                  \
  "  --keep-going     go on past a bad input (default: start no new one)\n"          \
  "  --report FILE    one JSON line per input: status, reason, seconds, outputs\n"   \
  "  --shard K/N      only the inputs whose place i in the list (from 0) has\n"      \
  "                   i mod N = K\n"                                                 \
  "  --shard auto     K and N from Slurm's SLURM_ARRAY_TASK_ID and\n"                \
  "                   SLURM_ARRAY_TASK_COUNT (or _MIN and _MAX), or from\n"          \
  "                   Kubernetes' JOB_COMPLETION_INDEX and --shard-count N\n"        \
  "  --shard-count N  the number of shards for auto; with Slurm, the task's ID is\n" \
  "                   then the shard from 0 (so that a part of an array can run\n"   \
  "                   again)\n"                                                      \
  "  The run ends with \"painted N, skipped N, failed N\" on standard error; the\n"  \
  "  exit code is 0 when every input was painted or skipped, 2 when one failed,\n"   \
  "  3 when an output could not be written.\n"
// The batch options, to be added to a command's parser.
const std::vector<std::string>& BatchValueOptions();
const std::vector<std::string>& BatchFlagOptions();

// True when Args ask for a batch: several inputs, --out-dir, or any batch option.
bool WantsBatch(const std::vector<std::string>& Args, const TBatchCommand& Command);
// Runs the batch; returns the exit code. Throws EUsage before any work.
int RunBatch(const std::vector<std::string>& Args, const TBatchCommand& Command);
// True while a batch has the command read its options without doing any
// work: the command returns once its options are checked.
bool CheckingOptionsOnly();

// The pieces, for tests and for the other commands.
struct TShard {
  int Index = 0, Count = 1;
  std::string Source;  // what said so, for the message ("" for --shard K/N)
};
// "K/N", or "auto" from the scheduler's environment (ShardCount: --shard-count
// or 0). Throws EUsage.
TShard ParseShard(const std::string& Value, int ShardCount,
                  const std::function<const char*(const char*)>& GetEnv);
// One input a line; blank lines and lines starting with '#' are skipped.
std::vector<std::string> ParseInputList(const std::string& Text);

}  // namespace brellin::cli
