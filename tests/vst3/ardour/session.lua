-- Plays the instrument in a headless Ardour session and checks what a user would hear.
-- Usage: ardour7-lua session.lua <absolute session folder> [note|trigger|save]
-- The instrument is played with MIDI note 60 ("note") or with its Trigger parameter
-- ("trigger", the parameter a note drives through the instrument's MIDI map); "save"
-- only saves the session with the instrument's track, for Ardour's window to open, and
-- prints "CORVA-TRACK <name>".
-- Prints "CORVA-RESULT <name> <value>" lines and ends with "CORVA-PASS", or stops at the
-- first "CORVA-FAIL <reason>".

local dir = arg[1]
local how = arg[2] or "note"
local RATE = 48000
local NAME = "Tembrix Audio Corva-1"

local function fail (why)
	print ("CORVA-FAIL " .. why)
	os.exit (1)
end
local function result (name, value) print ("CORVA-RESULT " .. name .. " " .. tostring (value)) end

create_session (dir, "corva", RATE)
if not Session then fail ("no session") end

-- The scanner's entry: an instrument with no audio input, two outputs and a MIDI input.
local info
for p in ARDOUR.LuaAPI.list_plugins ():iter () do
	if p.type == ARDOUR.PluginType.VST3 and p.name == NAME then info = p end
end
if not info then fail ("module not indexed") end
if not info:is_instrument () then fail ("not indexed as an instrument") end
if info.n_inputs:n_audio () ~= 0 or info.n_inputs:n_midi () ~= 1 or info.n_outputs:n_audio () ~= 2 then
	fail ("indexed with wrong ports")
end
result ("category", info.category)

-- A track name that already has ports makes track creation fail now and then: retry.
local track
for i = 1, 5 do
	local tl = Session:new_midi_track (ARDOUR.ChanCount (ARDOUR.DataType ("midi"), 1),
		ARDOUR.ChanCount (ARDOUR.DataType ("audio"), 2), true, info, nil, nil, 1, "Corva" .. i,
		ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true)
	if tl:size () == 1 then track = tl:front (); break end
end
if not track then fail ("no track") end
local trackName = track:name ()
if how == "save" then
	Session:save_state ("", false, false, false, false, false)
	print ("CORVA-TRACK " .. trackName)
	close_session ()
	print ("CORVA-PASS")
	return
end
local proc = track:nth_plugin (0)
if proc:isnil () then fail ("no plug-in on the track") end
local plug = proc:to_insert ():plugin (0)

local index = {}
for i = 0, plug:parameter_count () - 1 do index[plug:parameter_label (i)] = i end
for _, label in ipairs ({ "Tone", "Trigger", "Mode", "Volume", "Supply", "Echo" }) do
	if not index[label] then fail ("parameter " .. label .. " not offered") end
end

-- A probe after the instrument captures what it plays.
local probe = ARDOUR.LuaAPI.new_plugin (Session, "Corva Test Probe", ARDOUR.PluginType.Lua, "")
if probe:isnil () then fail ("no probe") end
track:add_processor_by_index (probe, 1, nil, true)
local shm = probe:to_insert ():plugin (0):to_luaproc ():shmem ()
local N = 24000

-- Half a second of audio: peak, RMS and the pitch, from the shortest lag at which the
-- autocorrelation comes near its highest peak (between 60 Hz and 3 kHz).
local function capture ()
	local ctl = shm:to_int (0):array ()
	ctl[2] = 0
	ctl[1] = 1
	for _ = 1, 200 do
		sleep (0.05)
		if ctl[1] == 0 then break end
	end
	if ctl[1] ~= 0 then fail ("probe captured nothing: is the transport rolling?") end
	local b = shm:to_float (4):array ()
	local x, peak, ss = {}, 0, 0
	for j = 1, N do
		local v = b[j]
		x[j] = v
		if math.abs (v) > peak then peak = math.abs (v) end
		ss = ss + v * v
	end
	local lo, hi = math.floor (RATE / 3000), math.floor (RATE / 60)
	local r, best = {}, 0
	for lag = lo, hi + 1 do
		local s = 0
		for j = 1, N - hi - 1, 3 do s = s + x[j] * x[j + lag] end
		r[lag] = s
		if lag <= hi and s > best then best = s end
	end
	local hz = 0
	if best > 0 then
		for lag = lo + 1, hi do
			if r[lag] >= 0.85 * best and r[lag] >= r[lag - 1] and r[lag] >= r[lag + 1] then
				local den = r[lag - 1] - 2 * r[lag] + r[lag + 1]
				local shift = den ~= 0 and 0.5 * (r[lag - 1] - r[lag + 1]) / den or 0
				hz = RATE / (lag + shift)
				break
			end
		end
	end
	return peak, math.sqrt (ss / N), hz
end

local function play (on)
	if how == "trigger" then
		ARDOUR.LuaAPI.set_processor_param (proc, index["Trigger"], on and 1 or 0)
		return
	end
	local v = C.ByteVector ()
	v:add ({ on and 0x90 or 0x80, 60, on and 100 or 0 })
	proc:to_insert ():write_immediate_event (Evoral.EventType.MIDI_EVENT, 3, v:to_array ())
end

Session:request_roll (ARDOUR.TransportRequestSource.TRS_UI)
sleep (0.5)

local peak, rms, hz = capture ()
result ("silent_peak", peak)
if peak > 1e-4 then fail ("sound before the instrument was played") end

play (true)
sleep (0.4)
peak, rms, hz = capture ()
result ("played_peak", peak)
result ("played_rms", rms)
result ("played_hz", hz)
if peak < 0.05 then fail ("no tone when played by " .. how) end
if hz <= 0 then fail ("no pitch when played by " .. how) end
local toneBefore = hz

-- Automation of "Tone" from its second to its last position, played by the transport.
local al, cl, pd = ARDOUR.LuaAPI.plugin_automation (proc, index["Tone"])
if al:isnil () then fail ("Tone cannot be automated") end
local now = Temporal.timepos_t (Session:transport_sample ())
local second = Temporal.timecnt_t (RATE)
cl:add (now + second:scale (Temporal.ratio (1, 10)), 1, false, true)
cl:add (now + second:scale (Temporal.ratio (2, 10)), 3, false, true)
cl:add (now + second:scale (Temporal.ratio (600, 1)), 3, false, true)
local ac = proc:to_automatable ():automation_control (
	Evoral.Parameter (ARDOUR.AutomationType.PluginAutomation, 0, index["Tone"]), false)
ac:set_automation_state (ARDOUR.AutoState.Play)
sleep (0.6)
result ("tone_after_automation", ARDOUR.LuaAPI.get_processor_param (proc, index["Tone"]))
peak, rms, hz = capture ()
result ("automated_peak", peak)
result ("automated_hz", hz)
if hz < toneBefore * 1.5 then fail ("Tone automation did not raise the pitch") end

play (false)
ac:set_automation_state (ARDOUR.AutoState.Off)
Session:request_stop (false, false, ARDOUR.TransportRequestSource.TRS_UI)
sleep (0.2)

-- Parameters survive saving and reopening the session.
local want = { Mode = 2, Volume = 0.7, Supply = 9.5, Echo = 1 }
for label, v in pairs (want) do ARDOUR.LuaAPI.set_processor_param (proc, index[label], v) end
sleep (0.2)
Session:save_state ("", false, false, false, false, false)
close_session ()
load_session (dir, "corva")
if not Session then fail ("session did not reopen") end
local r = Session:route_by_name (trackName)
if r:isnil () then fail ("track lost on reload") end
local p2 = r:to_track ():nth_plugin (0)
if p2:isnil () then fail ("plug-in lost on reload") end
for label, v in pairs (want) do
	local got = ARDOUR.LuaAPI.get_processor_param (p2, index[label])
	result ("reloaded_" .. label, got)
	if math.abs (got - v) > 1e-3 then fail (label .. " did not survive the reload") end
end
print ("CORVA-PASS")
