# Authenticode signing of everything the Windows tree ships (the program, the installers and
# their uninstaller), and the pins the program checks an update against.
#
# The maker signs a release with their own identity:
#   -DQD_SIGNING_CERT=/path/codesign.pem   the code-signing certificate (PEM)
#   -DQD_SIGNING_KEY=/path/codesign.key    its private key (PEM); a password, if any, in the
#                                          environment variable QD_SIGNING_KEY_PASSWORD
#   -DQD_SIGNING_CHAIN=/path/chain.pem     optional: the issuing authorities to embed
#   -DQD_SIGNING_TIMESTAMP=https://...     optional: an RFC 3161 time-stamp server
# Without them the build makes a test identity once in <build>/signing (ca.crt, codesign.crt,
# codesign.key) and signs with it; Windows does not trust it.
#
# The program refuses any program installer not signed by that very certificate (its SHA-256,
# compiled in), and any pedal driver installer whose signer is not named QD_DRIVER_SIGNER (the
# pedal maker's certificate subject; in development a test pedal identity in
# <build>/signing/pedal).
find_program(QD_OSSLSIGNCODE osslsigncode REQUIRED)
find_program(QD_OPENSSL openssl REQUIRED)

set(QD_SIGNING_CERT "" CACHE FILEPATH "Maker's code-signing certificate (PEM); empty: a test identity")
set(QD_SIGNING_KEY "" CACHE FILEPATH "Private key of QD_SIGNING_CERT (PEM)")
set(QD_SIGNING_CHAIN "" CACHE FILEPATH "Further certificates to embed in signatures (PEM), optional")
set(QD_SIGNING_TIMESTAMP "" CACHE STRING "RFC 3161 time-stamp server for signatures, optional")
set(QD_DRIVER_SIGNER "" CACHE STRING
    "Subject name (CN) of the pedal maker's code-signing certificate; empty: a test identity")

set(QD_SIGNING_DIR ${CMAKE_BINARY_DIR}/signing)
set(_make_identity ${PROJECT_SOURCE_DIR}/tools/make-signing-identity.sh)

function(_qd_make_identity dir authority signer)
    execute_process(COMMAND ${_make_identity} ${dir} ${authority} ${signer}
                    RESULT_VARIABLE _rc)
    if(NOT _rc EQUAL 0)
        message(FATAL_ERROR "Could not make the signing identity in ${dir}")
    endif()
endfunction()

if(QD_SIGNING_CERT)
    if(NOT QD_SIGNING_KEY)
        message(FATAL_ERROR "QD_SIGNING_CERT needs QD_SIGNING_KEY")
    endif()
    set(QD_SIGNER_CERT ${QD_SIGNING_CERT})
    set(QD_SIGNER_KEY ${QD_SIGNING_KEY})
    set(QD_SIGNER_CHAIN ${QD_SIGNING_CHAIN})
    if(NOT QD_SIGNER_CHAIN)
        set(QD_SIGNER_CHAIN -)
    endif()
    # What the installer's test verifies signatures against.
    set(QD_SIGNER_ROOT ${QD_SIGNING_CHAIN})
    set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
                 ${QD_SIGNING_CERT})
else()
    _qd_make_identity(${QD_SIGNING_DIR} "Quillodrome test authority" "Brenvale (test)")
    set(QD_SIGNER_CERT ${QD_SIGNING_DIR}/codesign.crt)
    set(QD_SIGNER_KEY ${QD_SIGNING_DIR}/codesign.key)
    set(QD_SIGNER_CHAIN ${QD_SIGNING_DIR}/ca.crt)
    set(QD_SIGNER_ROOT ${QD_SIGNING_DIR}/ca.crt)
endif()
if(QD_DRIVER_SIGNER)
    set(QD_DRIVER_SIGNER_NAME ${QD_DRIVER_SIGNER})
else()
    set(QD_DRIVER_SIGNER_NAME "Pedalvane (test)")
endif()
# The tests sign their stand-in driver installers with a pedal maker's identity of that name.
_qd_make_identity(${QD_SIGNING_DIR}/pedal "Pedal maker test authority" "${QD_DRIVER_SIGNER_NAME}")

# The pin: SHA-256 of the signer certificate's DER encoding (its thumbprint as Windows shows it).
execute_process(COMMAND ${QD_OPENSSL} x509 -in ${QD_SIGNER_CERT} -outform DER
                        -out ${QD_SIGNING_DIR}/signer.der
                RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "Cannot read the signing certificate ${QD_SIGNER_CERT}")
endif()
file(SHA256 ${QD_SIGNING_DIR}/signer.der QD_SIGNER_SHA256)
# The publisher the signatures name (the signer's common name), which the wizard shows.
execute_process(COMMAND ${QD_OPENSSL} x509 -in ${QD_SIGNER_CERT} -noout -subject -nameopt RFC2253
                OUTPUT_VARIABLE _subject RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0 OR NOT _subject MATCHES "CN=([^,\n]*)")
    message(FATAL_ERROR "The signing certificate ${QD_SIGNER_CERT} names no publisher (CN)")
endif()
set(QD_SIGNER_NAME "${CMAKE_MATCH_1}")
message(STATUS "Signing with ${QD_SIGNER_CERT} (SHA-256 ${QD_SIGNER_SHA256})")

# <build>/signing/sign.sh FILE...: signs files in place with this build's identity (the
# installer script calls it too).
set(QD_SIGN ${QD_SIGNING_DIR}/sign.sh)
file(CONFIGURE OUTPUT ${QD_SIGN} CONTENT "#!/bin/sh\n\
QD_SIGNING_TIMESTAMP='${QD_SIGNING_TIMESTAMP}' exec '${PROJECT_SOURCE_DIR}/tools/sign-file.sh' \
'${QD_SIGNER_CERT}' '${QD_SIGNER_KEY}' '${QD_SIGNER_CHAIN}' \"$@\"\n")
file(CHMOD ${QD_SIGN} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
     WORLD_READ WORLD_EXECUTE)

# qd_sign_target(target): signs the target's file each time it is linked.
function(qd_sign_target target)
    add_custom_command(TARGET ${target} POST_BUILD COMMAND ${QD_SIGN} $<TARGET_FILE:${target}>
                       VERBATIM)
endfunction()
