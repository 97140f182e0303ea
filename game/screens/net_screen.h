// "Play over the network": host a battle (choose the seats played at this machine, give the
// others the address, port and join code, start once every seat is held) or join one (type the
// host's address and the code, get a free seat). Its state loop is gs_network (states.h); once
// the battle begins the battle screen takes over with g_net set.
#pragma once
#include <cstdint>
#include <string>

struct record_file;

// The port a host listens at unless settings.ini says otherwise ([network] port).
constexpr std::uint16_t default_net_port = 47810;

// A join code of six letters and digits that cannot be mistaken for one another.
std::string make_join_code();

// The automated-run report's lines on the network session and, on this screen, what it shows.
std::string net_report();

// Ends the network session (the others told) and the order hook it set.
void net_leave();

// A recorded battle to be continued over the network: the network screen hosts it at once, and
// its start carries out the record's orders before the new ones. Forgotten when the screen is
// left without starting.
void offer_record_to_host(const record_file& record);
