# cmake -DTOOL=... -DROOT=... -DSIGNING=... -DOUT=... -P CertifyDemoKey.cmake
# The demo signing key's certificate, valid for a year from the build; written whole or not at
# all.
execute_process(
    COMMAND ${TOOL} release certify --root-private ${ROOT} --signing-public ${SIGNING} --days 365
    OUTPUT_FILE ${OUT}.new
    RESULT_VARIABLE status ERROR_VARIABLE error)
if(NOT status EQUAL 0)
    file(REMOVE ${OUT}.new)
    message(FATAL_ERROR "cannot certify the demo signing key: ${error}")
endif()
file(RENAME ${OUT}.new ${OUT})
