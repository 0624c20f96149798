// Who the driver is: its class identifier (also IASIO's interface identifier), names and texts
// that hosts and the registry see.
#pragma once

#include <objbase.h>

// {114D6E60-B05D-11D2-9A11-00104BC5C73D}
inline constexpr CLSID CLSID_TxAsioDriver = {
    0x114D6E60, 0xB05D, 0x11D2, {0x9A, 0x11, 0x00, 0x10, 0x4B, 0xC5, 0xC7, 0x3D}};

inline constexpr char kDriverName[] = "Tarvenix Native";
inline constexpr long kDriverVersion = 2;

inline constexpr char kModuleName[] = "tx_va.dll";
inline constexpr char kAsioKeyName[] = "TX ASIO Driver";
inline constexpr char kServerDescription[] = "TX ASIO";
inline constexpr char kThreadingModel[] = "Apartment";
inline constexpr char kServerCaption[] = "TX ASIO Driver";
