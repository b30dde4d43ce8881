// The SQL console: the "sql > " prompt and its commands, or a batch of -c and
// -f, after the WEB handshake.
#pragma once

// Runs the console and returns the exit status to end the run with: quit,
// kill and the end of input give 1 (a batch: the status of its first failure,
// or 0), a lost session the failed exchange's result, an interruption 128 +
// its signal (141 for a closed standard output).
int consola_sql();
