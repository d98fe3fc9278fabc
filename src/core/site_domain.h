#pragma once
// Which site an address belongs to, by the registrable domain of its host (the Public Suffix
// List): www.abc.com, abc.com and m.abc.com are one site; abc.com.cn is its own.

#include <string>
#include <string_view>

// The registrable domain of a host, Latin letters lower-cased: "www.abc.com.cn" ->
// "abc.com.cn". A host the list gives none for (an IP address, "localhost", a bare public
// suffix) is its own site. Hosts that are not ASCII are GBK and compared as such.
std::string RegistrableDomain(std::string_view host);

// The site of an address: the registrable domain of its host, with the port when one is
// written ("acme.localhost:8080"). Empty when the address names no host.
std::string SiteOfAddress(std::string_view address);
