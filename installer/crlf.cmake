# cmake -DIN=file -DOUT=file -DVERSION=x.y.z -P crlf.cmake
cmake_minimum_required(VERSION 3.25)
# Copies a text file with @VERSION@ filled in and Windows line ends, for
# Notepad on older Windows.
file(READ "${IN}" text)
string(REPLACE "@VERSION@" "${VERSION}" text "${text}")
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${OUT}" "${text}")
