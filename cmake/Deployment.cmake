# Deployment values: compiled-in defaults that an installation may override at configure time
# (cmake -D...). Defaults are loopback addresses so that nothing ever leaves the machine unless
# an operator says so.
set(GATEWAY_PRIMARY_ADDRESS "127.0.0.1" CACHE STRING "Payment gateway: primary address")
set(GATEWAY_FIRST_BACKUP_ADDRESS "127.0.0.1" CACHE STRING "Payment gateway: first backup address")
set(GATEWAY_SECOND_BACKUP_ADDRESS "127.0.0.1" CACHE STRING "Payment gateway: second backup address")
set(GATEWAY_TEST_ADDRESS "127.0.0.1" CACHE STRING "Payment gateway: test address")
foreach(name GATEWAY_PRIMARY_ADDRESS GATEWAY_FIRST_BACKUP_ADDRESS GATEWAY_SECOND_BACKUP_ADDRESS
             GATEWAY_TEST_ADDRESS)
  if(NOT ${name} MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+$")
    message(FATAL_ERROR "${name} must be a dotted IPv4 address, not '${${name}}'")
  endif()
endforeach()

# The SMS module's database: the SQL Server address in its connection string, and the ODBC
# driver (an odbcinst.ini entry name) that serves the SQLOLEDB provider.
set(SMS_DATABASE_ADDRESS "127.0.0.1" CACHE STRING "SMS database: SQL Server address")
set(SQLOLEDB_ODBC_DRIVER "FreeTDS" CACHE STRING "ODBC driver that serves provider SQLOLEDB")
if(NOT SMS_DATABASE_ADDRESS MATCHES "^[A-Za-z0-9._-]+$")
  message(FATAL_ERROR "SMS_DATABASE_ADDRESS must be a host name or address, not '${SMS_DATABASE_ADDRESS}'")
endif()
if(SQLOLEDB_ODBC_DRIVER MATCHES "[][{}();,=?*!@\"]")
  message(FATAL_ERROR "SQLOLEDB_ODBC_DRIVER must be a plain odbcinst.ini entry name")
endif()
