# The release public key compiled into the installer, from INKWARDEN_RELEASE_PUBLIC_KEY:
#   ""       no key: version replies are taken unsigned, as older services send them;
#   FILE     a PEM Ed25519 public key (relative paths from the source folder);
#   demo     a demo root key pair made with the openssl command in <build>/release-key/ at the
#            first configure; its public half is embedded, its private half stays in that folder
#            (mode 0600) for the demo service and the tests, and is never copied anywhere else.
#            Beside it a demo signing key pair, which the build certifies with the root for a
#            year (tools/CMakeLists.txt) and the demo service signs with.
#
#   iw_release_public_key(<pem variable> <demo private key path variable>)
# sets the PEM text (empty without a key) and the demo root private key's path (empty unless
# demo), and INKWARDEN_DEMO_SIGNING_PRIVATE_KEY, INKWARDEN_DEMO_SIGNING_PUBLIC_KEY and
# INKWARDEN_DEMO_SIGNING_CERTIFICATE (paths; empty unless demo).

# An Ed25519 key pair in folder: <name>-private.pem (mode 0600) and <name>-public.pem.
function(iw_demo_key_pair folder name)
    set(private_key ${folder}/${name}-private.pem)
    set(public_key ${folder}/${name}-public.pem)
    if(NOT EXISTS ${private_key})
        # The folder is the owner's alone before the private half is written into it.
        file(MAKE_DIRECTORY ${folder})
        file(CHMOD ${folder} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
        execute_process(
            COMMAND ${INKWARDEN_OPENSSL_COMMAND} genpkey -algorithm ED25519
                    -out ${private_key}.new
            RESULT_VARIABLE status ERROR_VARIABLE error)
        if(NOT status EQUAL 0)
            message(FATAL_ERROR "cannot make the demo key ${name}: ${error}")
        endif()
        file(CHMOD ${private_key}.new PERMISSIONS OWNER_READ OWNER_WRITE)
        file(RENAME ${private_key}.new ${private_key})
        file(REMOVE ${public_key})
    endif()
    if(NOT EXISTS ${public_key})
        execute_process(
            COMMAND ${INKWARDEN_OPENSSL_COMMAND} pkey -in ${private_key} -pubout
                    -out ${public_key}
            RESULT_VARIABLE status ERROR_VARIABLE error)
        if(NOT status EQUAL 0)
            message(FATAL_ERROR "cannot derive the demo public key ${name}: ${error}")
        endif()
    endif()
endfunction()

function(iw_release_public_key pem_out private_out)
    set(setting "${INKWARDEN_RELEASE_PUBLIC_KEY}")
    set(private_key "")
    set(INKWARDEN_DEMO_SIGNING_PRIVATE_KEY "" PARENT_SCOPE)
    set(INKWARDEN_DEMO_SIGNING_PUBLIC_KEY "" PARENT_SCOPE)
    set(INKWARDEN_DEMO_SIGNING_CERTIFICATE "" PARENT_SCOPE)
    if(setting STREQUAL "")
        set(${pem_out} "" PARENT_SCOPE)
        set(${private_out} "" PARENT_SCOPE)
        return()
    endif()

    find_program(INKWARDEN_OPENSSL_COMMAND openssl)
    if(NOT INKWARDEN_OPENSSL_COMMAND)
        message(FATAL_ERROR "INKWARDEN_RELEASE_PUBLIC_KEY=${setting} needs the openssl command "
                            "(scripts/setup installs it)")
    endif()

    if(setting STREQUAL "demo")
        set(folder ${CMAKE_BINARY_DIR}/release-key)
        set(private_key ${folder}/demo-release-private.pem)
        set(public_key ${folder}/demo-release-public.pem)
        iw_demo_key_pair(${folder} demo-release)
        iw_demo_key_pair(${folder} demo-signing)
        set(INKWARDEN_DEMO_SIGNING_PRIVATE_KEY ${folder}/demo-signing-private.pem PARENT_SCOPE)
        set(INKWARDEN_DEMO_SIGNING_PUBLIC_KEY ${folder}/demo-signing-public.pem PARENT_SCOPE)
        set(INKWARDEN_DEMO_SIGNING_CERTIFICATE ${folder}/demo-signing-certificate.txt PARENT_SCOPE)
        message(STATUS "Release key: demo root and signing key pairs in ${folder}")
    else()
        get_filename_component(public_key "${setting}" ABSOLUTE BASE_DIR ${CMAKE_SOURCE_DIR})
        if(NOT EXISTS ${public_key})
            message(FATAL_ERROR "INKWARDEN_RELEASE_PUBLIC_KEY: no file ${public_key}")
        endif()
        message(STATUS "Release key: ${public_key}")
    endif()

    # Only an Ed25519 public key goes in: a private key must never be embedded by mistake.
    execute_process(
        COMMAND ${INKWARDEN_OPENSSL_COMMAND} pkey -pubin -in ${public_key} -noout -text
        RESULT_VARIABLE status OUTPUT_VARIABLE description ERROR_QUIET)
    if(NOT status EQUAL 0 OR NOT description MATCHES "ED25519 Public-Key")
        message(FATAL_ERROR "INKWARDEN_RELEASE_PUBLIC_KEY: ${public_key} is not a PEM Ed25519 "
                            "public key")
    endif()
    file(READ ${public_key} pem)
    # A changed key file, or a demo pair that was deleted, configures again.
    set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
                 ${public_key} ${private_key})
    set(${pem_out} "${pem}" PARENT_SCOPE)
    set(${private_out} "${private_key}" PARENT_SCOPE)
endfunction()
