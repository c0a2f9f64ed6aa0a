// The command-line finder's watch mode, site file, exports and inventory: the
// searches they run and the files and lines they write. The rules are in watch.h,
// site_file.h, prometheus_export.h and ansible_inventory.h; this is the I/O.
#pragma once

#include "tools/cli/cli_options.h"

namespace orvandel::cli {

// Runs what options.monitor asks for and returns the exit status.
int RunMonitor(const Options& options);

}  // namespace orvandel::cli
