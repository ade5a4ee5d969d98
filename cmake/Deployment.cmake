# Deployment values: compiled-in defaults that an installation may override at configure time
# (cmake -D...). Defaults are loopback addresses so that nothing ever leaves the machine unless
# an operator says so.
set(GATEWAY_PRIMARY_ADDRESS "127.0.0.1" CACHE STRING "Payment gateway: primary address")
