# The public keys the self-update trusts, compiled into vm_update.
#
# A release build names its key(s): -DVELMORA_TRUSTED_KEYS=/path/release.pub.pem (a list of
# Ed25519 public keys in PEM form). Without it, a development key pair is made once for this
# build tree in ${CMAKE_BINARY_DIR}/signing/: velmora-dev.pem (private, 0600) signs what the
# tests, the demo and the development server publish; velmora-dev.pub.pem is trusted. Private
# keys never leave the build tree.

set(VELMORA_TRUSTED_KEYS "" CACHE STRING
    "Ed25519 public keys (PEM files) the self-update trusts; empty: a development pair made in the build tree")

set(VELMORA_DEV_SIGNING_KEY "")
set(vm_key_files ${VELMORA_TRUSTED_KEYS})
if(NOT vm_key_files)
    set(dev_dir ${CMAKE_BINARY_DIR}/signing)
    set(dev_private ${dev_dir}/velmora-dev.pem)
    set(dev_public ${dev_dir}/velmora-dev.pub.pem)
    if(NOT EXISTS ${dev_private} OR NOT EXISTS ${dev_public})
        find_program(VM_OPENSSL openssl REQUIRED)
        file(MAKE_DIRECTORY ${dev_dir})
        file(REMOVE ${dev_private} ${dev_public})
        execute_process(
            COMMAND ${VM_OPENSSL} genpkey -algorithm ed25519 -out ${dev_private}.part
            RESULT_VARIABLE rc ERROR_VARIABLE err)
        if(NOT rc EQUAL 0)
            message(FATAL_ERROR "Could not make the development signing key: ${err}")
        endif()
        file(CHMOD ${dev_private}.part PERMISSIONS OWNER_READ OWNER_WRITE)
        execute_process(
            COMMAND ${VM_OPENSSL} pkey -in ${dev_private}.part -pubout -out ${dev_public}
            RESULT_VARIABLE rc ERROR_VARIABLE err)
        if(NOT rc EQUAL 0)
            message(FATAL_ERROR "Could not derive the development public key: ${err}")
        endif()
        file(RENAME ${dev_private}.part ${dev_private})
    endif()
    set(VELMORA_DEV_SIGNING_KEY ${dev_private})
    set(vm_key_files ${dev_public})
endif()

set(VM_TRUSTED_KEYS_CXX "")
foreach(key_file ${vm_key_files})
    if(NOT EXISTS ${key_file})
        message(FATAL_ERROR "Trusted key file not found: ${key_file}")
    endif()
    file(READ ${key_file} pem)
    if(NOT pem MATCHES "-----BEGIN PUBLIC KEY-----")
        message(FATAL_ERROR "Not a public key in PEM form: ${key_file}")
    endif()
    string(APPEND VM_TRUSTED_KEYS_CXX "    R\"vmkey(${pem})vmkey\",\n")
    # A changed key file reconfigures, so the program never trusts a stale key.
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${key_file})
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/update/TrustedKeys.h.in
    ${CMAKE_BINARY_DIR}/generated/update/update/TrustedKeys.h @ONLY)
