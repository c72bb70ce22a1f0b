#pragma once

// The control socket's protocol, shared by the server and orvn-ctl.
//
// The client sends one command per line ('\n' ends it; a CR before it is
// dropped). For each line the server answers with the lines the command
// printed, each as CONTROL_TAG_OUTPUT followed by the text, and ends the
// answer with CONTROL_TAG_END and a status digit: CONTROL_STATUS_RAN, or
// CONTROL_STATUS_REFUSED for an unknown command, a bad argument or a refused
// request. Before the server closes a connection on its own (too many
// clients, idle too long) it may send one CONTROL_TAG_CLOSING line saying why.
// Every line the server sends ends with '\n'.

// Where the installed service's socket lives (the unit's runtime folder).
#define CONTROL_DEFAULT_PATH "/run/orvn-server/control.sock"

constexpr char CONTROL_TAG_OUTPUT = '|';
constexpr char CONTROL_TAG_END = '=';
constexpr char CONTROL_TAG_CLOSING = '!';
constexpr char CONTROL_STATUS_RAN = '0';
constexpr char CONTROL_STATUS_REFUSED = '1';
