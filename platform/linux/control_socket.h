#pragma once

// The control socket's address, shared by the server and the client side.

#include <sys/un.h>

#include <string>

// False when the path does not fit a socket address.
bool FillAddress(const std::string& path, sockaddr_un& address);
// A connected stream socket, or -1 when nothing listens there.
int ConnectTo(const std::string& path);
