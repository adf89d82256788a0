# Run by `cmake --install`: puts the polkit policy where polkitd reads it. That folder is the
# system's whatever the prefix, so an install for one user (--prefix ~/.local) cannot write it:
# such an install finishes without the policy and says how to add it for every user.
#   VAEL_POLKIT_POLICY     the policy file to install
#   VAEL_POLKIT_POLICYDIR  where polkitd reads it
get_filename_component(_vael_policy_name "${VAEL_POLKIT_POLICY}" NAME)

# The nearest folder that exists decides whether the rest can be made.
set(_vael_probe "$ENV{DESTDIR}${VAEL_POLKIT_POLICYDIR}")
while(NOT EXISTS "${_vael_probe}" AND NOT _vael_probe STREQUAL "")
  get_filename_component(_vael_probe "${_vael_probe}" DIRECTORY)
endwhile()
if(_vael_probe STREQUAL "")
  set(_vael_probe .)
endif()
execute_process(COMMAND test -w "${_vael_probe}" RESULT_VARIABLE _vael_not_writable)

if(_vael_not_writable)
  message(NOTICE
    "-- Skipped the polkit policy: ${VAEL_POLKIT_POLICYDIR} is not yours to write. Until the policy is there, "
    "Vael cannot ask for your presence and refuses what needs it. Install it for every user with:\n"
    "   sudo install -D -m 644 ${VAEL_POLKIT_POLICY} ${VAEL_POLKIT_POLICYDIR}/${_vael_policy_name}")
else()
  # Under DESTDIR when it is set, as with every other install rule.
  file(INSTALL DESTINATION "${VAEL_POLKIT_POLICYDIR}" TYPE FILE FILES "${VAEL_POLKIT_POLICY}")
endif()
