// Asio's own code, compiled once for the whole program rather than in every file that uses it.
#include <asio/impl/src.hpp>
