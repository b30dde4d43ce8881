// The SQL console: the "sql > " prompt and its commands.
#pragma once

// Runs the shell after the WEB handshake; never returns (quit, kill, end of
// input and failed exchanges end the process).
[[noreturn]] void consola_sql();
