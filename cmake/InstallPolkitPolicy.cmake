# Run by `cmake --install`: puts the polkit policy where polkitd reads it. That folder is the
# system's whatever the prefix, so an install for one user (--prefix ~/.local) cannot write it:
# such an install finishes without the policy and says how to add it for every user.
#   VAEL_POLKIT_POLICY     the policy file to install
#   VAEL_POLKIT_POLICYDIR  where polkitd reads it
get_filename_component(_vael_policy_name "${VAEL_POLKIT_POLICY}" NAME)
set(_vael_policy_dir "$ENV{DESTDIR}${VAEL_POLKIT_POLICYDIR}")

# The nearest folder that exists decides whether the rest can be made.
set(_vael_probe "${_vael_policy_dir}")
while(NOT EXISTS "${_vael_probe}")
  get_filename_component(_vael_probe "${_vael_probe}" DIRECTORY)
endwhile()
execute_process(COMMAND test -w "${_vael_probe}" RESULT_VARIABLE _vael_not_writable)

if(_vael_not_writable)
  message(NOTICE
    "-- Skipped the polkit policy: ${VAEL_POLKIT_POLICYDIR} is not yours to write. Until the policy is there, "
    "Vael cannot ask for your presence and refuses what needs it. Install it for every user with:\n"
    "   sudo install -D -m 644 ${VAEL_POLKIT_POLICY} ${VAEL_POLKIT_POLICYDIR}/${_vael_policy_name}")
else()
  file(INSTALL DESTINATION "${_vael_policy_dir}" TYPE FILE FILES "${VAEL_POLKIT_POLICY}")
endif()
