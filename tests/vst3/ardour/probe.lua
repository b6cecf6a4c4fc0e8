ardour {
	["type"]    = "dsp",
	name        = "Corva Test Probe",
	category    = "Utility",
	license     = "MIT",
	author      = "Corva tests",
	description = [[Passes audio through and, when asked, captures channel 1 for a test]]
}

local N = 24000

function dsp_ioconfig ()
	return { [1] = { audio_in = 2, audio_out = 2 } }
end

function dsp_init (rate)
	self:shmem ():allocate (4 + N)
	self:shmem ():clear ()
end

function dsp_run (ins, outs, n_samples)
	for c = 1, #outs do
		if ins[c] ~= outs[c] then ARDOUR.DSP.copy_vector (outs[c], ins[c], n_samples) end
	end
	local shmem = self:shmem ()
	local ctl = shmem:to_int (0):array ()
	if ctl[1] == 0 then return end
	local w = ctl[2]
	local n = math.min (n_samples, N - w)
	if n > 0 then
		ARDOUR.DSP.copy_vector (shmem:to_float (4 + w), ins[1], n)
		ctl[2] = w + n
	end
	if ctl[2] >= N then ctl[1] = 0 end
end
