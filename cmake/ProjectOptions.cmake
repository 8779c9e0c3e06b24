# One interface target carries the warning flags; every target links it.
add_library(quorvel_options INTERFACE)
target_compile_features(quorvel_options INTERFACE cxx_std_20)
target_compile_options(quorvel_options INTERFACE
  -Wall -Wextra -Wshadow -Wconversion -Wsign-conversion -Wpedantic
  -Wno-sign-conversion)

if(QUORVEL_SANITIZE)
  set(quorvel_sanitizers -fsanitize=address,undefined -fno-sanitize-recover=undefined
                         -fno-omit-frame-pointer)
  target_compile_options(quorvel_options INTERFACE ${quorvel_sanitizers})
  target_link_options(quorvel_options INTERFACE ${quorvel_sanitizers})
  # For the few tests that starve the process of what the sanitizers'
  # runtime needs itself.
  target_compile_definitions(quorvel_options INTERFACE QUORVEL_SANITIZED=1)
endif()
