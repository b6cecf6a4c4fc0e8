-- Makes a session with one MIDI track playing the instrument, saved for Ardour's window.
-- Usage: ardour7-lua gui_session.lua <absolute session folder>
-- Prints "CORVA-TRACK <name>" and "CORVA-PASS", or "CORVA-FAIL <reason>".

local dir = arg[1]
local NAME = "Tembrix Audio Corva-1"

local function fail (why)
	print ("CORVA-FAIL " .. why)
	os.exit (1)
end

create_session (dir, "corva", 48000)
if not Session then fail ("no session") end
local info
for p in ARDOUR.LuaAPI.list_plugins ():iter () do
	if p.type == ARDOUR.PluginType.VST3 and p.name == NAME then info = p end
end
if not info then fail ("module not indexed") end
-- A track name that already has ports makes track creation fail now and then: retry.
local track
for i = 1, 5 do
	local tl = Session:new_midi_track (ARDOUR.ChanCount (ARDOUR.DataType ("midi"), 1),
		ARDOUR.ChanCount (ARDOUR.DataType ("audio"), 2), true, info, nil, nil, 1, "Corva" .. i,
		ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true)
	if tl:size () == 1 then track = tl:front (); break end
end
if not track then fail ("no track") end
Session:save_state ("", false, false, false, false, false)
print ("CORVA-TRACK " .. track:name ())
close_session ()
print ("CORVA-PASS")
