#pragma once
// Levels of the converter's log, in increasing severity.
enum LogLevel : int { DEBUG = 0, INFO = 1, WARN = 2, ERROR = 3 };

// The word printed for a level: "DEBUG", "INFO", "WARN", "ERROR".
const char* log_level_word(LogLevel level);
