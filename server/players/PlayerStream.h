#pragma once

class CPlayer;

// The player messages the streamer sends when pObserver starts or stops
// holding pSubject: the spawn description (156) and the stream-out notice (157).
void SendPlayerStreamIn(CPlayer* pSubject, CPlayer* pObserver);
void SendPlayerStreamOut(CPlayer* pSubject, CPlayer* pObserver);
