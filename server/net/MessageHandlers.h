#pragma once

class CNetwork;

// Registers every message handler of the server with the network's table.
void RegisterMessageHandlers(CNetwork* pNetwork);
